// The camera, capture-size and application-window pickers on the offscreen
// platform, against a recording publish manager behind the proxy and a
// recording host in place of the main window.
#include <QApplication>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "app/ScreenCaptureProxy.h"
#include "platform/duilib/list_controls.h"
#include "tests/app/fake_publish_manager.h"
#include "tests/ui/main_window_wiring.h"
#include "ui/CameraDevWnd.h"
#include "ui/CapResSelectDlg.h"
#include "ui/CapSoftDlg.h"
#include "ui/SourcePickerHost.h"

namespace {

struct RecordingHost : ISourcePickerHost {
  std::vector<std::wstring> sizes;
  std::vector<int> sources;
  void ApplyCaptureSize(const std::wstring& text) override { sizes.push_back(text); }
  void SwitchSource(int kind) override { sources.push_back(kind); }
};

// Two cameras (or none), and the handles it was asked to capture.
struct PickerManager : FakePublishManager {
  std::vector<HWND> captured;
  std::vector<const wchar_t*> cameras{L"Cam A", L"Cam B"};
  void SetCaptureWindow(HWND window) override { captured.push_back(window); }
  int GetCamList(const wchar_t*** names, unsigned* count) override {
    *names = cameras.data();
    *count = static_cast<unsigned>(cameras.size());
    return 0;
  }
};

// The owner a picker reports to: records what is posted to it.
struct OwnerWindow : WindowImplBase {
  std::vector<std::pair<UINT, WPARAM>> posted;
  const wchar_t* GetWindowClassName() const override { return L"Owner"; }
  std::wstring GetSkinFile() override { return L"exitDlg.xml"; }
  LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM, bool&) override {
    if (message >= WM_USER) posted.emplace_back(message, wParam);
    return 0;
  }
};

struct WatchedSoftDlg : CCapSoftDlg {
  WatchedSoftDlg(std::shared_ptr<CScreenCaptureProxy> proxy, ISourcePickerHost* host, TopLevelWindowLister lister,
                 bool* deleted)
      : CCapSoftDlg(std::move(proxy), host, std::move(lister)), deleted(deleted) {}
  ~WatchedSoftDlg() override { *deleted = true; }
  bool* deleted;
};

CItemListUI* List(WindowImplBase& wnd, const wchar_t* name) {
  return dynamic_cast<CItemListUI*>(wnd.GetPaintManager().FindControl(name));
}
// As the presenter picks a row.
void Pick(CItemListUI* list, int row) { static_cast<QListWidget*>(list->GetWidget())->setCurrentRow(row); }
void Click(WindowImplBase& wnd, const wchar_t* name) {
  QTest::mouseClick(wnd.GetPaintManager().FindControl(name)->GetWidget(), Qt::LeftButton);
}
std::vector<std::wstring> Texts(CItemListUI* list) {
  std::vector<std::wstring> texts;
  for (int i = 0; i < list->GetCount(); ++i) texts.push_back(list->GetItemAt(i)->GetText());
  return texts;
}

}  // namespace

class SourcePickersTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_folder;
  std::unique_ptr<CUserConfig> m_config;
  PickerManager m_manager;
  ProgramEventQueue m_events;
  std::shared_ptr<CScreenCaptureProxy> m_proxy;
  RecordingHost m_host;

  void Configure(int camIndex, int sizeIndex, int lockMode) {
    UserConfigValues values = m_config->Get();
    values.camIndex = camIndex;
    values.selectResolutionIndex = sizeIndex;
    values.lockMode = lockMode;
    m_config->Set(values);
  }

 private slots:
  void init() {
    m_config = std::make_unique<CUserConfig>(m_folder.path().toStdString(), 1366, 768);
    m_proxy =
        std::make_shared<CScreenCaptureProxy>(nullptr, WiringOverManagerWithDefaultSettings(&m_manager, &m_events));
    m_proxy->Init(0, 0, 0);
    m_manager.ClearCalls();
    m_manager.cameras = {L"Cam A", L"Cam B"};
    m_host = RecordingHost{};
  }
  void cleanup() { m_proxy.reset(); }

  void cameraPickerSelectsTheConfiguredCameraAndAsksItsOwnerToSwitch() {
    Configure(1, 0, 0);
    OwnerWindow owner;
    QVERIFY(owner.Create(0, L"Owner", UI_WNDSTYLE_FRAME, 0));
    CCameraDevWnd picker(m_proxy, *m_config);
    QVERIFY(picker.Create(owner.GetHWND(), L"CameraDev", UI_WNDSTYLE_DIALOG, 0));
    CItemListUI* list = List(picker, L"cameraList");
    QCOMPARE(Texts(list), (std::vector<std::wstring>{L"Cam A", L"Cam B"}));
    QVERIFY(list->GetCurSel() == 1 && m_proxy->CameraIndex() == 1);
    QCOMPARE(m_config->Get().camName, std::string());  // selected silently

    Pick(list, 0);
    QCOMPARE(m_config->Get().camName, std::string("Cam A"));
    QVERIFY(m_config->Get().camIndex == 0 && m_proxy->CameraIndex() == 0);
    Click(picker, L"comfirm");
    QTRY_COMPARE(owner.posted, (std::vector<std::pair<UINT, WPARAM>>{{WM_SWITCH_SOURCE, 3}}));
    QTRY_VERIFY(picker.GetHWND() == 0);
  }

  void cameraPickerCopesWithAStaleIndexAndWithNoCamera() {
    Configure(5, 0, 0);  // a camera unplugged since
    CCameraDevWnd stale(m_proxy, *m_config);
    QVERIFY(stale.Create(0, L"CameraDev", UI_WNDSTYLE_DIALOG, 0));
    QVERIFY(List(stale, L"cameraList")->GetCurSel() == 0 && m_proxy->CameraIndex() == 0);

    m_manager.cameras.clear();
    m_proxy->RefreshDeviceLists();
    OwnerWindow owner;
    QVERIFY(owner.Create(0, L"Owner", UI_WNDSTYLE_FRAME, 0));
    CCameraDevWnd none(m_proxy, *m_config);
    QVERIFY(none.Create(owner.GetHWND(), L"CameraDev", UI_WNDSTYLE_DIALOG, 0));
    // It says why there is nothing to choose.
    CControlUI* noCamera = none.GetPaintManager().FindControl(L"noCameraLabel");
    QVERIFY(noCamera && noCamera->IsVisible() && !noCamera->GetText().empty());
    QVERIFY(!List(none, L"cameraList")->IsVisible());
    Click(none, L"comfirm");
    owner.PostMessageW(WM_USER + 9);  // arrives after anything the picker posted
    QTRY_COMPARE(owner.posted, (std::vector<std::pair<UINT, WPARAM>>{{WM_USER + 9, 0}}));
  }

  void sizePickerAppliesChoicesAndIsFixedWhileLocked() {
    Configure(0, 0, 0);
    CCapResSelectDlg dlg(&m_host, m_proxy, *m_config);
    QVERIFY(dlg.Create(0, L"CapResSelectDlg", UI_WNDSTYLE_DIALOG, 0));
    CItemListUI* list = List(dlg, L"resolutionList");
    QVERIFY(list->IsEnabled() && list->GetCurSel() == 0 && m_host.sizes.empty());
    Pick(list, list->GetCount() - 1);
    QCOMPARE(m_config->Get().selectResolutionIndex, list->GetCount() - 1);
    Click(dlg, L"comfirm");
    QCOMPARE(m_host.sizes, (std::vector<std::wstring>{L"全屏", L"全屏"}));
    QCOMPARE(m_host.sources, (std::vector<int>{ISourcePickerHost::kSourceDesktop}));
    QCOMPARE(m_manager.Count("ScreenCaptureAuxB"), 1);
    QTRY_VERIFY(dlg.GetHWND() == 0);

    for (int mode : {1, 2}) {
      Configure(0, 99, mode);  // an index this screen does not offer
      CCapResSelectDlg locked(&m_host, m_proxy, *m_config);
      QVERIFY(locked.Create(0, L"CapResSelectDlg", UI_WNDSTYLE_DIALOG, 0));
      QVERIFY(!List(locked, L"resolutionList")->IsEnabled());
      Click(locked, L"comfirm");  // nothing selected: nothing to apply
      QTRY_VERIFY(locked.GetHWND() == 0);
    }
    QVERIFY(m_host.sizes.size() == 2 && m_host.sources.size() == 1);
  }

  void softwarePickerListsTitlesOnceAndCapturesTheChosenWindow() {
    std::vector<TopLevelWindow> desktop{{11, L"编辑器"}, {12, L""}, {13, L"Browser"}, {14, L"编辑器"}};
    bool deleted = false;
    auto* dlg = new WatchedSoftDlg(m_proxy, &m_host, [&] { return desktop; }, &deleted);
    QVERIFY(dlg->Create(0, L"CapSoftDlg", UI_WNDSTYLE_DIALOG, 0));
    CItemListUI* list = List(*dlg, L"softwareList");
    QCOMPARE(Texts(list), (std::vector<std::wstring>{L"请选择", L"Browser", L"编辑器"}));
    QCOMPARE(list->GetCurSel(), 0);

    Pick(list, 2);
    Pick(list, 0);  // "请选择" captures nothing
    desktop.pop_back();  // the chosen window closes while the list is open
    Pick(list, 2);
    Pick(list, 1);
    QCOMPARE(m_manager.captured, (std::vector<HWND>{14, 13}));
    Click(*dlg, L"comfirm");
    QCOMPARE(m_host.sources, (std::vector<int>{ISourcePickerHost::kSourceDesktop}));
    QTRY_VERIFY(deleted);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR);
  SourcePickersTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "source_pickers_test.moc"
