// The settings window on the offscreen platform, with the shipped skin, a
// recording publish manager behind the proxy and a real capture frame: what
// each control does to the configuration, the proxy and the frame.
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/PublishParams.h"
#include "app/ScreenCaptureProxy.h"
#include "platform/duilib/controls.h"
#include "platform/duilib/list_controls.h"
#include "tests/app/fake_publish_manager.h"
#include "tests/ui/main_window_wiring.h"
#include "ui/CaptureDlg.h"
#include "ui/SettingDlg.h"

using Size = std::pair<int, int>;

class SettingDlgTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_folder;
  std::unique_ptr<CUserConfig> m_config;
  CPublishParams m_params;
  FakePublishManager m_manager;
  ProgramEventQueue m_events;
  std::shared_ptr<CScreenCaptureProxy> m_proxy;
  std::unique_ptr<CCaptureDlg> m_frame;
  std::optional<std::wstring> m_chosenFolder;
  std::unique_ptr<CSettingDlg> m_dlg;

  void Configure(const std::string& outResolution, int lockMode, int micIndex = 0) {
    UserConfigValues values = m_config->Get();
    values.outResolution = outResolution;
    values.lockMode = lockMode;
    values.micIndex = micIndex;
    m_config->Set(values);
  }
  void MaxOutput(int width, int height) {
    PublishParamValues values;
    values.MaxVDWidth = width;
    values.MaxVDHeight = height;
    m_params.Set(values);
  }
  // As the main window makes it: hidden at login, shown from its button.
  void Open(bool shown = true) {
    m_dlg = std::make_unique<CSettingDlg>(m_proxy, m_frame.get(), *m_config, m_params,
                                          [this](QWidget*, const std::wstring&) { return m_chosenFolder; });
    QVERIFY(m_dlg->Create(0, L"CSettingDlg", UI_WNDSTYLE_FRAME & ~(shown ? 0 : WS_VISIBLE), 0) != 0);
  }
  CControlUI* Control(const wchar_t* name) { return m_dlg->GetPaintManager().FindControl(name); }
  CItemListUI* List(const wchar_t* name) { return dynamic_cast<CItemListUI*>(Control(name)); }
  void Click(const wchar_t* name) { QTest::mouseClick(Control(name)->GetWidget(), Qt::LeftButton); }
  void Pick(const wchar_t* list, int row) { static_cast<QListWidget*>(List(list)->GetWidget())->setCurrentRow(row); }
  // The presenter types into an edit and leaves it.
  void Type(const wchar_t* edit, const std::wstring& text) {
    Control(edit)->SetText(text);
    m_dlg->GetPaintManager().SendNotify(Control(edit), notify_type::kKillFocus);
  }
  QSize FrameSize() { return m_frame->GetWidget()->size(); }
  bool FrameResizable() { return (m_frame->GetStyle() & WS_THICKFRAME) != 0; }
  Size Output() { return {m_proxy->OutputWidth(), m_proxy->OutputHeight()}; }
  QLabel* OpenTip() {
    for (QWidget* tip : m_dlg->GetWidget()->findChildren<QWidget*>("CTipMenu")) {
      if (tip->isVisible()) return tip->findChild<QLabel*>();
    }
    return nullptr;
  }

 private slots:
  // One frame for every case, as the program has: its end asks the program's
  // loop to quit, which would end the next message box's loop instead.
  void initTestCase() {
    m_frame = std::make_unique<CCaptureDlg>(nullptr);
    QVERIFY(m_frame->Create(0, L"CaptureDlg", WS_OVERLAPPEDWINDOW, 0) != 0);
  }
  void cleanupTestCase() { m_frame.reset(); }
  void init() {
    m_config = std::make_unique<CUserConfig>(m_folder.path().toStdString(), 1366, 768);
    MaxOutput(1920, 1080);
    m_proxy =
        std::make_shared<CScreenCaptureProxy>(nullptr, WiringOverManagerWithDefaultSettings(&m_manager, &m_events));
    m_proxy->Init(0, 0, 0);
    m_frame->ShowWindow(false);
    m_frame->SetMode(CCaptureDlg::kModeFree);
    m_frame->SetStyle(WS_THICKFRAME);
    m_frame->GetWidget()->setGeometry(20, 20, 300, 200);
  }
  void cleanup() {
    m_dlg.reset();
    m_proxy.reset();
  }

  void hiddenAtLoginStillAppliesTheSavedSizeAndMode() {
    MaxOutput(1280, 720);
    for (auto [saved, frameMode, resizable] : {std::tuple{1, 2, false}, {2, 3, true}}) {
      Configure("960*540", saved, 1);
      m_proxy->SetOutputSize(640, 480);
      Open(false);
      QVERIFY(!m_dlg->GetWidget()->isVisible());
      QCOMPARE(List(L"resolutionList")->GetCount(), 10);  // up to 1280*720 in area
      QCOMPARE(List(L"resolutionList")->GetText(), std::wstring(L"960*540"));
      QCOMPARE(Output(), Size(960, 540));
      QCOMPARE(m_frame->GetMode(), frameMode);
      QCOMPARE(FrameResizable(), resizable);
      QVERIFY(m_frame->GetWidget()->isVisible());
      QCOMPARE(FrameSize(), QSize(966, 577));
      QCOMPARE(m_config->Get().lockMode, saved);
      QCOMPARE(m_proxy->MicIndex(), 1);
    }
  }

  // What the dialog made hidden at login does with a saved size the list
  // does not hold: nothing it writes, and no fall to the first entry.
  void savedSizeOutsideTheListIsKeptOrGivesWayWithoutBeingOverwritten() {
    MaxOutput(1280, 720);  // the default list then ends at 1280*720
    struct Case {
      const char* saved;
      Size inForce;
      const wchar_t* shown;  // nullptr: no item selected
    };
    const Case cases[] = {{"1920*1080", {1280, 720}, L"1280*720"},  // not allowed: the largest listed below it
                          {"1280*960", {1280, 720}, L"1280*720"},
                          {"700*1000", {640, 480}, L"640*480"},
                          {"1000*600", {1000, 600}, nullptr},  // allowed, not listed: kept
                          {"junk", {333, 222}, nullptr}};      // unreadable: the account's size stays
    for (const Case& c : cases) {
      Configure(c.saved, 0);
      m_proxy->SetOutputSize(333, 222);
      Open(false);
      QCOMPARE(Output(), c.inForce);
      QCOMPARE(m_config->Get().outResolution, std::string(c.saved));
      CItemListUI* list = List(L"resolutionList");
      if (c.shown) {
        QCOMPARE(list->GetText(), std::wstring(c.shown));
      } else {
        QCOMPARE(list->GetCurSel(), -1);
      }
    }
    // A refused pick with nothing selected before leaves nothing selected.
    QTimer answer;
    connect(&answer, &QTimer::timeout, [] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) box->accept();
      }
    });
    answer.start(5);
    MaxOutput(1000, 1000);  // 1280*720 is listed by area but too wide
    Configure("1000*600", 0);
    Open(false);
    Pick(L"resolutionList", List(L"resolutionList")->GetCount() - 1);
    QTRY_COMPARE(List(L"resolutionList")->GetCurSel(), -1);
    QCOMPARE(Output(), Size(1000, 600));
  }

  void listedSizeGoesToProxyConfigAndLockedFrameOrWarns() {
    UserConfigValues values = m_config->Get();
    values.resolutionList = {"320*240", "wide", "abc*480", "0*480", "640*480", "800*600", "1280*720", "1920*1080"};
    m_config->Set(values);
    MaxOutput(1000, 1000);
    Configure("800*600", 1);
    Open();
    const std::vector<std::wstring> listed{L"320*240", L"640*480", L"800*600", L"1280*720"};
    for (int i = 0; i < 4; ++i) QCOMPARE(List(L"resolutionList")->GetItemAt(i)->GetText(), listed[i]);
    QCOMPARE(List(L"resolutionList")->GetCount(), 4);
    QCOMPARE(List(L"resolutionList")->GetCurSel(), 2);
    Pick(L"resolutionList", 1);
    QCOMPARE(Output(), Size(640, 480));
    QCOMPARE(m_config->Get().outResolution, std::string("640*480"));
    QCOMPARE(FrameSize(), QSize(646, 517));

    QString caption, text;
    QTimer answer;  // answers the warning box once it is up
    connect(&answer, &QTimer::timeout, [&] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible()) continue;
        caption = box->windowTitle();
        text = box->text();
        box->accept();
      }
    });
    answer.start(5);
    Pick(L"resolutionList", 3);  // within the area, wider than allowed
    QTRY_COMPARE(text, QString("超出最大输出分辨率范围"));
    QCOMPARE(caption, QString("警告"));
    QCOMPARE(Output(), Size(640, 480));
    QCOMPARE(m_config->Get().outResolution, std::string("640*480"));
    QCOMPARE(List(L"resolutionList")->GetCurSel(), 1);
  }

  void lockRatioAndFreeModesDriveTheFrame() {
    Open();
    Click(L"ratioResolution");
    QCOMPARE(m_frame->GetMode(), 3);
    QCOMPARE(m_config->Get().lockMode, 2);
    QVERIFY(FrameResizable());
    QCOMPARE(FrameSize(), QSize(646, 517));

    m_frame->GetWidget()->resize(300, 200);
    Click(L"lockResolution");
    QVERIFY(!dynamic_cast<COptionUI*>(Control(L"ratioResolution"))->IsSelected());
    QCOMPARE(m_frame->GetMode(), 2);
    QCOMPARE(m_config->Get().lockMode, 1);
    QVERIFY(!FrameResizable());
    QCOMPARE(FrameSize(), QSize(646, 517));

    auto* pages = dynamic_cast<CTabLayoutUI*>(Control(L"tab_switch"));
    for (auto [page, index] : {std::pair{L"audio_tab", 1}, {L"recoder_tab", 2}, {L"set_tab", 3}, {L"video_tab", 0}}) {
      Click(page);
      QCOMPARE(pages->GetCurSel(), index);
    }
    QCOMPARE(m_config->Get().lockMode, 1);
    QCOMPARE(m_frame->GetMode(), 2);

    Click(L"lockResolution");  // neither: free
    QCOMPARE(m_frame->GetMode(), 1);
    QCOMPARE(m_config->Get().lockMode, 0);
    QVERIFY(FrameResizable());
  }

  void typedSizeTakesOnlyAllowedNumbers() {
    MaxOutput(1280, 1080);
    Open();
    Click(L"mansetting");
    QVERIFY(Control(L"resolutionContainer")->IsVisible() && !Control(L"resolutionList")->IsVisible());
    Type(L"widthEdit", L"800");  // the height is still the first typed one
    QCOMPARE(Output(), Size(800, 360));
    for (const wchar_t* refused : {L"99", L"000", L"-50", L"12a4", L""}) {
      Type(L"widthEdit", refused);
      QCOMPARE(Output(), Size(800, 360));
      QCOMPARE(Control(L"widthEdit")->GetText(), std::wstring(L"800"));
      QVERIFY(OpenTip());
      QCOMPARE(OpenTip()->text(), QString("宽高最大为1920*1080"));
    }
    // Above the limit: the account's maximum here, shown as taken.
    for (const wchar_t* above : {L"2560", L"1300"}) {
      Type(L"widthEdit", above);
      QCOMPARE(Output(), Size(1280, 360));
      QCOMPARE(Control(L"widthEdit")->GetText(), std::wstring(L"1280"));
    }
    Type(L"widthEdit", L"853");
    QCOMPARE(Control(L"widthEdit")->GetText(), std::wstring(L"852"));
    QCOMPARE(Output(), Size(852, 360));
    Type(L"widthEdit", L"800");
    Type(L"heightEdit", L"99");
    QCOMPARE(Control(L"heightEdit")->GetText(), std::wstring(L"360"));

    Click(L"lockResolution");
    Type(L"heightEdit", L"0720");
    QCOMPARE(Control(L"heightEdit")->GetText(), std::wstring(L"720"));
    QCOMPARE(FrameSize(), QSize(806, 757));

    // While live only the size for the next start changes.
    m_proxy->OnStatus(0, "NetConnection.Connect.Success");
    Type(L"widthEdit", L"1280");
    QCOMPARE(Output(), Size(800, 720));
    QCOMPARE(m_proxy->Settings().pendingWidth, 1280);
    // Saved as it will go out.
    QCOMPARE(m_config->Get().outResolution, std::string("1280*720"));
  }

  // The presenter goes back to the window (a tip on show closes), types into
  // an edit, then presses a button of the window: the press takes the focus
  // from the edit, as on a screen.
  void TypeThenPress(const wchar_t* edit, const std::wstring& text, const wchar_t* button) {
    QWidget* window = m_dlg->GetWidget();
    window->activateWindow();
    QTRY_VERIFY(window->isActiveWindow());
    QTRY_VERIFY(!OpenTip());
    Control(edit)->GetWidget()->setFocus();
    QVERIFY(Control(edit)->GetWidget()->hasFocus());
    Control(edit)->SetText(text);
    QWidget* pressed = Control(button)->GetWidget();
    const QPoint at = pressed->mapTo(window, pressed->rect().center());
    QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
  }

  // A typed size that had to change holds the click whose press took the
  // focus from its edit: the presenter sees the size taken and the tip saying
  // why before the window goes; the next click closes it.
  void aTypedSizeThatChangedIsShownBeforeTheWindowCloses() {
    Open();
    Click(L"mansetting");
    for (const wchar_t* button : {L"comfirm", L"closebtn"}) {
      TypeThenPress(L"widthEdit", L"5000", button);
      QVERIFY(m_dlg->GetHWND() != 0);
      QCOMPARE(Control(L"widthEdit")->GetText(), std::wstring(L"1920"));
      QVERIFY(OpenTip());
      QCOMPARE(OpenTip()->text(), QString("宽高最大为1920*1080"));
      QCOMPARE(Output(), Size(1920, 360));
      QCOMPARE(m_config->Get().outResolution, std::string("1920*360"));
    }
    Click(L"comfirm");
    QTRY_VERIFY(m_dlg->GetHWND() == 0);

    // A size taken as typed holds nothing, nor does one refused before.
    Open();
    Click(L"mansetting");
    Type(L"heightEdit", L"99");
    TypeThenPress(L"widthEdit", L"1280", L"comfirm");
    QTRY_VERIFY(m_dlg->GetHWND() == 0);
    QCOMPARE(m_config->Get().outResolution, std::string("1280*360"));
  }

  void tipsOpenBesideTheirButtonsWithTheirTexts() {
    Open();
    m_dlg->GetWidget()->move(60, 40);
    const std::pair<const wchar_t*, const char*> tips[] = {
        {L"manTip", "宽高最大为1920*1080"},
        {L"lockTip",
         "是指共享窗口分辨率以输出分辨率\n设置为准不可更改，可保证视频\n1:1原画输出，保证视频清晰度。\n"
         "例如输出分辨率设置640*480，\n则共享窗口大小默认为640*480\n不可调整"},
        {L"ratioTip",
         "是指共享窗口分辨率以输出分辨率\n设置的比例为准进行缩小或放大，\n保证视频无黑边,例如输出分辨率\n"
         "设置640 * 480，则共享窗口大小\n默认为640 * 480，\n可以4:3的比例进行缩小或放大"}};
    for (auto [button, text] : tips) {
      Click(button);
      QVERIFY(OpenTip());
      QCOMPARE(OpenTip()->text(), QString(text));
      const RECT pos = Control(button)->GetPos();
      QCOMPARE(OpenTip()->window()->pos(), m_dlg->GetWidget()->mapToGlobal(QPoint(pos.right - 110, pos.top + 15)));
    }
    // The last tip is still open as the window goes.
  }

  void microphoneFolderAndClosing() {
    Configure("640*480", 0, 7);  // left from a microphone since unplugged
    Open();
    QCOMPARE(Control(L"recoderPathEdit")->GetText(), QString::fromStdString(m_config->GetRecordPath()).toStdWString());
    QCOMPARE(List(L"audiodevList")->GetCurSel(), 0);
    Pick(L"audiodevList", 1);
    QCOMPARE(m_proxy->MicIndex(), 1);
    QCOMPARE(m_config->Get().micIndex, 1);
    QCOMPARE(m_config->Get().micName, std::string("Mic B"));

    m_chosenFolder = L"/srv/录像";
    Click(L"recoderPathBtn");
    QCOMPARE(Control(L"recoderPathEdit")->GetText(), std::wstring(L"/srv/录像"));
    QCOMPARE(m_config->Get().recordPath, std::string("/srv/录像"));
    m_chosenFolder.reset();  // cancelled
    Click(L"recoderPathBtn");
    QCOMPARE(m_config->Get().recordPath, std::string("/srv/录像"));

    for (const wchar_t* button : {L"comfirm", L"closebtn"}) {
      Open();
      Click(button);
      QTRY_VERIFY(m_dlg->GetHWND() == 0);
    }
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR);
  SettingDlgTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "setting_dlg_test.moc"
