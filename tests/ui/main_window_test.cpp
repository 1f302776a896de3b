// The main window on the offscreen platform, over a recording publish manager
// behind the real proxy: status words arrive as the library sends them (from
// its own threads, through the proxy), clicks and selections as the presenter
// makes them.
#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>
#include <atomic>
#include <cwchar>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/IniFile.h"
#include "app/ProgramFolder.h"
#include "app/PublishParams.h"
#include "app/UserConfig.h"
#include "platform/duilib/controls.h"
#include "platform/duilib/list_controls.h"
#include "platform/duilib/menu_wnd.h"
#include "tests/app/fake_publish_manager.h"
#include "tests/ui/main_window_wiring.h"
#include "ui/MainWnd.h"

namespace {

// Records what the recording and volume calls were given; microphones and
// cameras as the test sets them.
struct ConsoleManager : FakePublishManager {
  std::vector<const wchar_t*> mics{L"Mic A", L"Mic B"};
  std::vector<const wchar_t*> cams{L"Cam A", L"Cam B"};
  std::vector<std::string> recordPaths;
  std::vector<bool> recordSwitches;
  std::atomic<bool> filePlays{true};
  bool PlayFile() override { return FakePublishManager::PlayFile() && filePlays; }
  int GetMicList(const wchar_t*** names, unsigned* count) override {
    *names = mics.data();
    *count = static_cast<unsigned>(mics.size());
    return 0;
  }
  int GetCamList(const wchar_t*** names, unsigned* count) override {
    *names = cams.data();
    *count = static_cast<unsigned>(cams.size());
    return 0;
  }
  void SetRecordFilePath(const char* path) override { recordPaths.push_back(path); }
  // As the library does, its threads are joined before release returns.
  std::function<void()> onRelease;
  void release() override {
    if (onRelease) onRelease();
    FakePublishManager::release();
  }
  void EnableRecordFile(bool on) override { recordSwitches.push_back(on); }
};

std::wstring Text(CMainWnd& wnd, const wchar_t* name) { return wnd.GetPaintManager().FindControl(name)->GetText(); }
CLabelUI* Label(CMainWnd& wnd, const wchar_t* name) {
  return dynamic_cast<CLabelUI*>(wnd.GetPaintManager().FindControl(name));
}
CButtonUI* Button(CMainWnd& wnd, const wchar_t* name) {
  return dynamic_cast<CButtonUI*>(wnd.GetPaintManager().FindControl(name));
}
void Click(CMainWnd& wnd, const wchar_t* name) {
  wnd.GetPaintManager().SendNotify(wnd.GetPaintManager().FindControl(name), notify_type::kClick);
}

// As the library reports: on a thread of its own, through the proxy.
void ReportFromLibrary(CMainWnd& wnd, const std::vector<const char*>& words) {
  std::shared_ptr<CScreenCaptureProxy> proxy = wnd.Proxy();
  std::thread library([&] {
    for (const char* word : words) proxy->OnStatus(0, word);
  });
  library.join();
}

struct Snapshot {
  std::wstring msg, down, clock, startImage, recordImage;
  DWORD msgColour, downColour;
  bool live;
  bool operator==(const Snapshot&) const = default;
};
Snapshot Look(CMainWnd& wnd) {
  return Snapshot{Text(wnd, L"pubmsgLabel"), Text(wnd, L"pubmsgLabeldown"), Text(wnd, L"pubtimeLabel"),
                  Button(wnd, L"startPubBtn")->GetNormalImage(), Button(wnd, L"recoderBtn")->GetNormalImage(),
                  Label(wnd, L"pubmsgLabel")->GetTextColor(), Label(wnd, L"pubmsgLabeldown")->GetTextColor(),
                  wnd.IsLive()};
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> m_folder;
  ConsoleManager m_manager;
  ProgramEventQueue m_events;
  std::unique_ptr<CMainWnd> m_wnd;
  std::vector<std::pair<std::wstring, std::wstring>> m_boxes;

  std::string Folder() const { return m_folder->path().toStdString(); }

  void Open() {
    m_wnd = std::make_unique<CMainWnd>(WiringOverManager(&m_manager, &m_events));
    m_wnd->SetMessageBox([this](const std::wstring& text, const std::wstring& caption) {
      m_boxes.emplace_back(text, caption);
    });
    QVERIFY(m_wnd->Create(0, L"transwnd", UI_WNDSTYLE_FRAME & ~WS_VISIBLE, 0, 0, 0, 990, 690) != 0);
    QVERIFY(m_wnd->StartupError().empty());
  }
  void Connect() {
    ReportFromLibrary(*m_wnd, {"NetConnection.Connect.Success"});
    QTRY_VERIFY(m_wnd->IsLive());
  }

 private slots:
  void init() {
    m_folder = std::make_unique<QTemporaryDir>();
    SetProgramFolderForTesting(Folder());
    UserConfigValues config;
    config.recordPath = Folder() + "/records/today";
    config.resolutionList = DefaultOutputSizes();
    config.userId = "anchor";
    TheUserConfig().Set(config);
    ThePublishParams().Set(PublishParamValues());
    m_manager.ClearCalls();
    m_manager.mics = {L"Mic A", L"Mic B"};
    m_manager.recordPaths.clear();
    m_manager.recordSwitches.clear();
    m_boxes.clear();
    // Events left for a window of an earlier case.
    while (m_events.Take()) {
    }
  }
  void cleanup() {
    m_wnd.reset();
    // The capture frame ends the program's loop when it goes; here that quit
    // would make every later modal loop return at once.
    QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
    while (m_events.Take()) {
    }
  }

  void connectionWordsDriveImagesTextsClockAndDumpStatus() {
    Open();
    const Snapshot idle = Look(*m_wnd);
    QCOMPARE(idle.startImage, std::wstring(L"images/btn1a.png"));
    QCOMPARE(idle.recordImage, std::wstring(L"images/recordgray.png"));

    Connect();
    QCOMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"连接成功"));
    QCOMPARE(Label(*m_wnd, L"pubmsgLabel")->GetTextColor(), kStatusGreen);
    QCOMPARE(Button(*m_wnd, L"startPubBtn")->GetNormalImage(), std::wstring(L"images/btn2a.png"));
    QCOMPARE(Button(*m_wnd, L"startPubBtn")->GetHotImage(), std::wstring(L"images/btn2b.png"));
    QCOMPARE(Button(*m_wnd, L"recoderBtn")->GetNormalImage(), std::wstring(L"images/record1a.png"));
    QVERIFY(m_wnd->HasTimer(TIMER_PUBLISH_CLOCK));
    QVERIFY(!m_wnd->GetPaintManager().FindControl(L"labeContainer")->IsVisible());

    ReportFromLibrary(*m_wnd, {"NetStream.Publish.Start"});
    QTRY_COMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"视频发布成功"));
    QCOMPARE(IniGetString(Folder() + "/DUMP.ini", "DUMP", "DumpStatus", ""), std::string("OnPub"));

    // Hours, minutes within the hour, seconds.
    for (int s = 0; s < 59; ++s) m_wnd->HandleMessage(WM_TIMER, TIMER_PUBLISH_CLOCK, 0);
    QCOMPARE(Text(*m_wnd, L"pubtimeLabel"), std::wstring(L"00:00:59"));
    for (int s = 59; s < 3700; ++s) m_wnd->HandleMessage(WM_TIMER, TIMER_PUBLISH_CLOCK, 0);
    QCOMPARE(Text(*m_wnd, L"pubtimeLabel"), std::wstring(L"01:01:40"));

    ReportFromLibrary(*m_wnd, {"NetConnection.Connect.Closed"});
    QTRY_VERIFY(!m_wnd->IsLive());
    QCOMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"连接关闭"));
    QCOMPARE(Text(*m_wnd, L"pubtimeLabel"), std::wstring(L"00:00:00"));
    QCOMPARE(Button(*m_wnd, L"startPubBtn")->GetNormalImage(), std::wstring(L"images/btn1a.png"));
    QVERIFY(!m_wnd->HasTimer(TIMER_PUBLISH_CLOCK));
    QCOMPARE(IniGetString(Folder() + "/DUMP.ini", "DUMP", "DumpStatus", ""), std::string("NoPub"));
  }

  void errorWordsGoRedBelowAndTheStatusLineClearsAfterItsTimer() {
    Open();
    Connect();
    const std::vector<std::pair<const char*, const wchar_t*>> errors = {
        {"NetConnection.Connect.Failed", L"连接服务器失败，请检测网络或防火墙设置"},
        {"Audio.Capture.Error", L"音频设备启动错误"},
        {"Video.Capture.Error", L"视频设备启动错误"},
        {"NetStream.Publish.PublisherExists", L"发布实例被占用"},
    };
    for (const auto& [word, text] : errors) {
      ReportFromLibrary(*m_wnd, {word});
      QTRY_COMPARE(Text(*m_wnd, L"pubmsgLabeldown"), std::wstring(text));
      QCOMPARE(Label(*m_wnd, L"pubmsgLabeldown")->GetTextColor(), kStatusRed);
    }
    QVERIFY(m_wnd->HasTimer(TIMER_CLEAR_STATUS));
    QCOMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"连接成功"));

    // The one-shot timer fires: the status line above empties, the error stays.
    m_wnd->HandleMessage(WM_TIMER, TIMER_CLEAR_STATUS, 0);
    QCOMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring());
    QCOMPARE(Text(*m_wnd, L"pubmsgLabeldown"), std::wstring(L"发布实例被占用"));
    QVERIFY(!m_wnd->HasTimer(TIMER_CLEAR_STATUS));
  }

  void unknownWordsAndCaptureErrorEventsChangeNothing() {
    Open();
    Connect();
    const Snapshot before = Look(*m_wnd);
    ReportFromLibrary(*m_wnd, {"Plugin.Close.Socket", "NetConnection.Connect.success"});
    QVERIFY(m_wnd->PostMessageW(WM_PUBLISH_EVENT, kPublishEventAudioCaptureError));
    QVERIFY(m_wnd->PostMessageW(WM_PUBLISH_EVENT, kPublishEventVideoCaptureError));
    // A JSON event of another kind, and one that is not JSON at all.
    m_events.Post(ProgramEvent{m_wnd->GetHWND(), WM_PUBLISH_EVENT, kPublishEventJson, 0, R"({"cmd":"BufferStatus"})"});
    m_events.Post(ProgramEvent{m_wnd->GetHWND(), WM_PUBLISH_EVENT, kPublishEventJson, 0, "{not json"});
    // The marker arrives after all of them, in order.
    m_events.Post(ProgramEvent{m_wnd->GetHWND(), WM_STATUS_WORD, 0, 0, "NetStream.Play.Start"});
    QTRY_COMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"视频发布成功"));
    Snapshot after = Look(*m_wnd);
    after.msg = before.msg;
    QCOMPARE(after, before);
    QCOMPARE(m_manager.Count("PlayFile"), 0);
  }

  void aMediaFileThatWillNotPlayIsReportedOnceAndHoldsTheStatusLine() {
    Open();
    Connect();
    m_manager.filePlays = false;
    m_wnd->SwitchSource(ISourcePickerHost::kSourceMediaFile);
    QCOMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"文件播放失败,请重试！"));
    QCOMPARE(Label(*m_wnd, L"pubmsgLabel")->GetTextColor(), kStatusRed);
    ReportFromLibrary(*m_wnd, {"NetStream.Publish.Start", "NetStream.Play.Start"});
    QTRY_COMPARE(IniGetString(Folder() + "/DUMP.ini", "DUMP", "DumpStatus", ""), std::string("OnPub"));
    QCOMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"文件播放失败,请重试！"));

    // The library's end-of-file event plays the file again.
    m_manager.filePlays = true;
    m_manager.ClearCalls();
    m_wnd->Proxy()->OnMessage(R"({"cmd":"OnVexaCapturePlayComplete","params":{}})");
    QTRY_COMPARE(m_manager.Count("PlayFile"), 1);
    QCOMPARE(m_wnd->CurrentSource(), int(ISourcePickerHost::kSourceMediaFile));
    ReportFromLibrary(*m_wnd, {"NetStream.Play.Start"});
    QTRY_COMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"视频发布成功"));
  }

  // The old file went on playing when the new one could not be opened, and
  // PlayFile succeeded on it: the presenter was never told.
  void aFileThatCannotBeOpenedWhileAnotherPlaysIsReported() {
    Open();
    Connect();
    m_wnd->SwitchSource(ISourcePickerHost::kSourceMediaFile);
    QCOMPARE(m_wnd->CurrentSource(), int(ISourcePickerHost::kSourceMediaFile));
    QVERIFY(Text(*m_wnd, L"pubmsgLabel") != std::wstring(L"文件播放失败,请重试！"));
    m_manager.notify = m_wnd->Proxy().get();
    m_manager.refuseFiles = true;
    m_wnd->SwitchSource(ISourcePickerHost::kSourceMediaFile);
    QCOMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"文件播放失败,请重试！"));
    QCOMPARE(Label(*m_wnd, L"pubmsgLabel")->GetTextColor(), kStatusRed);
    m_manager.notify = nullptr;
  }

  void menuItemsAreActedOnByName() {
    Open();
    auto post = [this](const wchar_t* name, bool checked) {
      auto* record = new MenuClickRecord{};
      std::wcsncpy(record->szName, name, 255);
      record->bChecked = checked;
      m_wnd->PostMessageW(WM_MENUCLICK, reinterpret_cast<WPARAM>(record), 0,
                          [](WPARAM w, LPARAM) { CPaintManagerUI::DeletePtr(reinterpret_cast<void*>(w)); });
    };
    post(L"Menu_Test1", true);
    post(L"Menu_Test1", false);
    post(L"Menu_Test2", false);
    post(L"no_such_item", false);
    QTRY_COMPARE(m_boxes.size(), size_t(3));
    QCOMPARE(m_boxes[0].first, std::wstring(L"你选中Menu_Test1"));
    QCOMPARE(m_boxes[1].first, std::wstring(L"你取消Menu_Test1"));
    QCOMPARE(m_boxes[2].first, std::wstring(L"你单击了Menu_Test2"));
  }

  void startWhileConnectedStopsTheLibraryButStaysConnectedUntilClosed() {
    Open();
    Click(*m_wnd, L"startPubBtn");
    QCOMPARE(m_manager.Count("StartPublish"), 1);
    Connect();
    Click(*m_wnd, L"startPubBtn");
    QCOMPARE(m_manager.Count("StopPublish"), 1);
    QCOMPARE(m_manager.Count("StartPublish"), 1);
    QVERIFY(m_wnd->IsLive());
    QCOMPARE(Button(*m_wnd, L"startPubBtn")->GetNormalImage(), std::wstring(L"images/btn2a.png"));
    QCOMPARE(Button(*m_wnd, L"recoderBtn")->GetNormalImage(), std::wstring(L"images/recordgray.png"));
    ReportFromLibrary(*m_wnd, {"NetConnection.Connect.Closed"});
    QTRY_COMPARE(Button(*m_wnd, L"startPubBtn")->GetNormalImage(), std::wstring(L"images/btn1a.png"));
  }

  void startAfterARunThatNeverConnectedStopsItFirst() {
    Open();
    Click(*m_wnd, L"startPubBtn");
    ReportFromLibrary(*m_wnd, {"NetConnection.Connect.Failed"});
    QTRY_VERIFY(!Text(*m_wnd, L"pubmsgLabeldown").empty());
    m_manager.ClearCalls();
    Click(*m_wnd, L"startPubBtn");
    std::vector<std::string> runCalls;
    for (const std::string& call : m_manager.Calls()) {
      if (call == "StopPublish()" || call == "StartPublish()") runCalls.push_back(call);
    }
    QCOMPARE(runCalls, (std::vector<std::string>{"StopPublish()", "StartPublish()"}));
  }

  void withoutMicrophoneNothingStarts() {
    m_manager.mics.clear();
    Open();
    Click(*m_wnd, L"startPubBtn");
    QCOMPARE(Text(*m_wnd, L"pubmsgLabeldown"), std::wstring(L"没有音频设置,请插入麦克风"));
    QCOMPARE(m_manager.Count("StartPublish"), 0);
    // A microphone plugged in later does not count until the next start.
    m_manager.mics = {L"Mic A"};
    m_wnd->Proxy()->RefreshDeviceLists();
    Click(*m_wnd, L"startPubBtn");
    QCOMPARE(m_manager.Count("StartPublish"), 0);
  }

  void devicesAreRestoredByName() {
    UserConfigValues config = TheUserConfig().Get();
    config.micName = "Mic B";
    config.camName = "Cam B";
    TheUserConfig().Set(config);
    Open();
    auto* mics = dynamic_cast<CItemListUI*>(m_wnd->GetPaintManager().FindControl(L"audiodevList"));
    QCOMPARE(mics->GetCount(), 2);
    QCOMPARE(mics->GetCurSel(), 1);
    QCOMPARE(m_wnd->Proxy()->MicIndex(), 1);
    QCOMPARE(m_wnd->Proxy()->CameraIndex(), 1);

    // A saved device that is gone falls back to the first.
    m_wnd.reset();
    config.micName = "Mic Z";
    TheUserConfig().Set(config);
    QVERIFY(TheUserConfig().Save(UserConfigPath()));  // the window loads it when it is made
    Open();
    QCOMPARE(m_wnd->Proxy()->MicIndex(), 0);
  }

  // Plain numbers of at least 100 are taken, capped at 1920 x 1080 (and the
  // account's maximum) and made even; anything else leaves the size in force
  // and shows it again.
  void typedSizesAreCappedMadeEvenOrRefused() {
    PublishParamValues params;
    params.MaxVDHeight = 720;
    ThePublishParams().Set(params);
    Open();
    auto* width = m_wnd->GetPaintManager().FindControl(L"widthEdit");
    auto* height = m_wnd->GetPaintManager().FindControl(L"heightEdit");
    const int widthBefore = m_wnd->Proxy()->Settings().pendingWidth;
    for (const wchar_t* text : {L"99", L"000", L"-50", L"12a", L""}) {
      width->SetText(text);
      m_wnd->GetPaintManager().SendNotify(width, notify_type::kKillFocus);
      QCOMPARE(m_wnd->Proxy()->Settings().pendingWidth, widthBefore);
      QCOMPARE(width->GetText(), std::wstring(L"480"));  // the typed width in force
    }
    const std::pair<const wchar_t*, int> taken[] = {{L"2560", 1920}, {L"99999999", 1920}, {L"853", 852}, {L"1920", 1920}};
    for (auto [text, value] : taken) {
      width->SetText(text);
      m_wnd->GetPaintManager().SendNotify(width, notify_type::kKillFocus);
      QCOMPARE(width->GetText(), std::to_wstring(value));
      QCOMPARE(m_wnd->Proxy()->Settings().pendingWidth, value);
      QCOMPARE(m_wnd->Proxy()->Settings().pendingHeight, 360);
    }
    for (auto [text, value] : {std::pair{L"0481", 480}, {L"1080", 720}}) {  // the account allows 720
      height->SetText(text);
      m_wnd->GetPaintManager().SendNotify(height, notify_type::kKillFocus);
      QCOMPARE(height->GetText(), std::to_wstring(value));
      QCOMPARE(m_wnd->Proxy()->Settings().pendingHeight, value);
    }
    // Kept for the next start as it goes out.
    QCOMPARE(TheUserConfig().Get().outResolution, std::string("1920*720"));
  }

  // USERID names the last account that logged in online; an offline login
  // leaves it. The label shows the account in use, live or not.
  void theAccountInUseIsShownThroughoutABroadcast() {
    TheUserConfig().SetLoginAccount("bella");
    Open();
    m_wnd->OnLoginSuccess();
    QCOMPARE(Text(*m_wnd, L"usernameLabel"), std::wstring(L"bella"));
    Connect();
    ReportFromLibrary(*m_wnd, {"NetStream.Publish.Start"});
    QTRY_COMPARE(Text(*m_wnd, L"pubmsgLabel"), std::wstring(L"视频发布成功"));
    QCOMPARE(Text(*m_wnd, L"usernameLabel"), std::wstring(L"bella"));
    QCOMPARE(IniGetString(Folder() + "/DUMP.ini", "DUMP", "UserID", ""), std::string("bella"));
    TheUserConfig().SetLoginAccount("");
  }

  void outputSizeAboveTheMaximumWarnsAndChangesNothing() {
    PublishParamValues params;
    params.MaxVDWidth = 1000;  // narrow but tall: 1280*720 fits the area, not the width
    params.MaxVDHeight = 2000;
    ThePublishParams().Set(params);
    Open();
    m_wnd->ApplySettings();
    auto* sizes = dynamic_cast<CItemListUI*>(m_wnd->GetPaintManager().FindControl(L"resolutionList"));
    int wide = -1;
    for (int i = 0; i < sizes->GetCount(); ++i) {
      if (sizes->GetItemAt(i)->GetText() == L"1280*720") wide = i;
    }
    QVERIFY(wide >= 0);
    const int widthBefore = m_wnd->Proxy()->Settings().pendingWidth;
    sizes->SelectItem(wide, false, true);
    QTRY_COMPARE(m_boxes.size(), size_t(1));
    QCOMPARE(m_boxes[0].first, std::wstring(L"超出最大输出分辨率范围"));
    QCOMPARE(m_boxes[0].second, std::wstring(L"警告"));
    QCOMPARE(m_wnd->Proxy()->Settings().pendingWidth, widthBefore);
    QCOMPARE(TheUserConfig().GetOutResolution(), std::string("640*480"));
    // The list shows the size still in force again.
    QCOMPARE(sizes->GetText(), std::wstring(L"640*480"));
  }

  void recordingsNeedALiveRunAndNeverShareAFile() {
    Open();
    Click(*m_wnd, L"recoderBtn");
    QCOMPARE(m_boxes.size(), size_t(1));
    QCOMPARE(m_boxes[0].first, std::wstring(L"开启直播之后才能录制视频!"));
    QVERIFY(m_manager.recordPaths.empty());

    Connect();
    for (int i = 0; i < 4; ++i) Click(*m_wnd, L"recoderBtn");  // start, stop, start, stop within a second or two
    QCOMPARE(m_manager.recordSwitches, (std::vector<bool>{true, false, true, false}));
    QCOMPARE(m_manager.recordPaths.size(), size_t(2));
    QVERIFY(m_manager.recordPaths[0] != m_manager.recordPaths[1]);
    for (const std::string& path : m_manager.recordPaths) {
      QVERIFY(path.rfind(Folder() + "/records/today/", 0) == 0);
      QVERIFY(path.size() > 4 && path.substr(path.size() - 4) == ".flv");
    }
    QVERIFY(std::filesystem::is_directory(Folder() + "/records/today"));
    QCOMPARE(Button(*m_wnd, L"recoderBtn")->GetNormalImage(), std::wstring(L"images/record1a.png"));

    // Stopping the broadcast ends a recording under way.
    Click(*m_wnd, L"recoderBtn");
    QCOMPARE(Button(*m_wnd, L"recoderBtn")->GetNormalImage(), std::wstring(L"images/stoprecord1.png"));
    Click(*m_wnd, L"startPubBtn");
    QVERIFY(!m_wnd->IsRecording());
    QCOMPARE(m_manager.recordSwitches.back(), false);
  }

  void aRecordingTheLibraryCannotWriteIsShownAsStopped() {
    Open();
    Connect();
    Click(*m_wnd, L"recoderBtn");
    QVERIFY(m_wnd->IsRecording());
    // The disk is full: the library ends the file and says so once.
    ReportFromLibrary(*m_wnd, {"RtmpRecord SetMediaData err."});
    QTRY_COMPARE(Text(*m_wnd, L"pubmsgLabeldown"), std::wstring(L"录制已停止：录制文件写入失败"));
    QCOMPARE(Label(*m_wnd, L"pubmsgLabeldown")->GetTextColor(), kStatusRed);
    QVERIFY(!m_wnd->IsRecording());
    QCOMPARE(Button(*m_wnd, L"recoderBtn")->GetNormalImage(), std::wstring(L"images/record1a.png"));
    QCOMPARE(m_manager.recordSwitches, (std::vector<bool>{true, false}));
    QVERIFY(m_wnd->IsLive());

    // The next click starts a new recording.
    Click(*m_wnd, L"recoderBtn");
    QVERIFY(m_wnd->IsRecording());
    QCOMPARE(m_manager.recordSwitches, (std::vector<bool>{true, false, true}));
    QCOMPARE(m_manager.recordPaths.size(), size_t(2));
  }

  void loginShowsTheWindowAndResendsTheAccountsEncoderSettings() {
    UserConfigValues config = TheUserConfig().Get();
    config.outResolution = "1280*720";
    config.lockMode = 1;
    TheUserConfig().Set(config);
    QVERIFY(TheUserConfig().Save(UserConfigPath()));
    Open();
    QVERIFY(!m_wnd->GetWidget()->isVisible());
    PublishParamValues params;
    params.BFrameCount = 3;
    params.Quality = 27;
    ThePublishParams().Set(params);
    m_manager.commands.clear();
    m_wnd->OnLoginSuccess();
    QVERIFY(m_wnd->GetWidget()->isVisible());
    QCOMPARE(Text(*m_wnd, L"usernameLabel"), std::wstring(L"anchor"));
    bool bFrames = false, quality = false;
    for (const std::string& command : m_manager.commands) {
      if (command.find("SetBframeCount") != std::string::npos) bFrames = command.find('3') != std::string::npos;
      if (command.find("SetVBRQuality") != std::string::npos) quality = command.find("27") != std::string::npos;
    }
    QVERIFY(bFrames);
    QVERIFY(quality);
    QCOMPARE(IniGetString(Folder() + "/DUMP.ini", "DUMP", "UserID", ""), std::string("anchor"));
    // The settings dialog made at login stays hidden, yet applies the saved
    // output size and lock mode.
    int settingDialogs = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->windowTitle() != QStringLiteral("CSettingDlg")) continue;
      ++settingDialogs;
      QVERIFY(!widget->isVisible());
    }
    QCOMPARE(settingDialogs, 1);
    QCOMPARE(m_wnd->Proxy()->OutputWidth(), 1280);
    QCOMPARE(m_wnd->Proxy()->OutputHeight(), 720);
    QCOMPARE(m_wnd->CaptureFrame()->GetMode(), int(CCaptureDlg::kModeLock));
  }

  void aCloseFromTheWindowManagerAsksFirst() {
    Open();
    m_wnd->OnLoginSuccess();
    bool asked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->windowTitle() == QStringLiteral("EDLG")) {
          asked = true;
          PostMessageW(static_cast<HWND>(top->winId()), WM_CLOSE);  // the presenter cancels
        }
      }
    });
    poll.start(10);
    QVERIFY(m_wnd->GetWidget()->close() == false);  // refused: the dialog decides
    QVERIFY(asked);  // the dialog was up while close() waited on it
    poll.stop();
    for (QWidget* top : QApplication::topLevelWidgets()) {
      QVERIFY(!(top->isVisible() && top->windowTitle() == QStringLiteral("EDLG")));
    }
    QVERIFY(m_wnd->GetHWND() != 0);
    QVERIFY(m_wnd->GetWidget()->isVisible());
  }

  void withoutASystemTrayMinimiseKeepsTheWindowReachable() {
    Open();
    m_wnd->OnLoginSuccess();
    QVERIFY(!m_wnd->HasTrayIcon());  // the offscreen platform has no tray
    Click(*m_wnd, L"minbtn");
    QTRY_VERIFY(m_wnd->GetWidget()->isMinimized());
    QVERIFY(m_wnd->GetWidget()->isVisible());
  }

  void windowGoesWhileTheLibraryKeepsReporting() {
    Open();
    std::atomic<bool> stop{false};
    IRtmpPublishManagerNotify* notify = m_wnd->Proxy().get();
    std::thread library([&] {
      // Bounded, so a slow (sanitizer) build does not pile up words without end.
      for (int i = 0; i < 20000 && !stop; ++i) {
        notify->OnStatus(0, "NetConnection.Connect.Success");
        std::this_thread::yield();
      }
    });
    m_manager.onRelease = [&] {
      stop = true;
      library.join();
    };
    QTRY_VERIFY(m_wnd->IsLive());
    m_wnd.reset();
    m_manager.onRelease = nullptr;
    QVERIFY(!library.joinable());
    QCOMPARE(m_manager.Count("release"), 1);
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
