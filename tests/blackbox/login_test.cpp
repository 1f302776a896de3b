// Start-up and login as a presenter meets them: the real program on a
// private desktop, its login window typed into through xdotool, against the
// demo login service and a scripted one.
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "tests/blackbox/blackbox_desktop.h"
#include "tests/support/fake_http_server.h"
#include "tests/support/velmora_session.h"

using blackbox::DemoService;
using blackbox::kWindowTimeoutMs;
using blackbox::ScreenshotPath;
using blackbox::ServiceMode;
using blackbox::WaitUntil;
using test_support::FakeHttpServer;
using test_support::HttpReply;
using test_support::VelmoraSession;
using test_support::WindowGeometry;
using test_support::XWindow;

namespace {

const char kPromptCaption[] = "\xE6\x8F\x90\xE7\xA4\xBA";  // 提示

// Pixels that differ between two pictures of the same size; -1 when they
// could not be compared (missing, other sizes).
long DifferentPixels(const std::string& a, const std::string& b) {
  const test_support::CommandResult r = test_support::RunCommand({"compare", "-metric", "AE", a, b, "null:"});
  if (r.exitCode != 0 && r.exitCode != 1) return -1;
  return std::strtol(r.err.c_str(), nullptr, 10);
}

class LoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_desktop.Start()) << m_desktop.error();
    ASSERT_TRUE(m_session.ready());
  }

  XWindow StartAtLogin() {
    if (!m_session.Start()) return 0;
    return test_support::WaitForWindow("LoginDlg", kWindowTimeoutMs);
  }

  // Starts the program, logs in and returns the main window (0 when it did
  // not appear).
  XWindow LogIn(const std::string& user, const std::string& password) {
    return blackbox::StartAndLogIn(m_session, user, password);
  }

  bool CacheExists(const std::string& account) { return test_support::FileSize(m_session.File("usr/" + account)) > 0; }

  // The login click brings up the program's message box, which shows
  // exactly this text (ExpectPromptShows).
  void ExpectPrompt(XWindow login, const std::string& text, const std::string& shotName) {
    ASSERT_TRUE(blackbox::TypeLogin(login, "anna", "secret"));
    ExpectPromptShows(text, shotName);
  }

  // The program's message box is up and shows exactly this text: its
  // picture becomes equal to one of a box made with that text on the same
  // screen. Then it is dismissed with the keyboard. The reference is made
  // once the program's box is up: the program raises its windows as the box
  // shows, and would cover a reference box mapped before.
  void ExpectPromptShows(const std::string& text, const std::string& shotName) {
    const XWindow box = test_support::WaitForWindow(kPromptCaption, kWindowTimeoutMs);
    ASSERT_NE(box, 0u) << "no message box for " << text;
    const std::string referenceShot = ScreenshotPath(shotName + "_reference");
    const test_support::CommandResult reference =
        test_support::RunCommand({PROMPT_REFERENCE, kPromptCaption, text, referenceShot});
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    const std::string shot = ScreenshotPath(shotName);
    long different = -1;
    WaitUntil(kWindowTimeoutMs, [&] {
      different = test_support::Screenshot(box, shot) ? DifferentPixels(shot, referenceShot) : -1;
      return different == 0;
    });
    EXPECT_EQ(different, 0) << "the box does not read \"" << text << "\"";
    ASSERT_TRUE(test_support::Key(box, "Return"));
    ASSERT_TRUE(test_support::WaitForNoWindow(kPromptCaption, kWindowTimeoutMs));
  }

  blackbox::Desktop m_desktop;
  VelmoraSession m_session{blackbox::VelmoraBinary()};
};

// A scripted login service whose reply the test changes between clicks.
class ScriptedService {
 public:
  bool Start() {
    return m_server.Start([this](const std::string&) {
      std::lock_guard<std::mutex> lock(m_lock);
      return m_reply;
    });
  }
  void Answer(HttpReply reply) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_reply = std::move(reply);
  }
  std::string LoginUrl() const { return "http://127.0.0.1:" + std::to_string(m_server.port()) + "/login?v=1"; }
  FakeHttpServer& server() { return m_server; }

 private:
  FakeHttpServer m_server;
  std::mutex m_lock;
  HttpReply m_reply{404, ""};
};

// The names in a folder that start with prefix.
std::vector<std::string> NamesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir))
      if (std::string(entry->d_name).rfind(prefix, 0) == 0) names.push_back(entry->d_name);
    ::closedir(dir);
  }
  return names;
}

const char kSuccess[] =
    R"({"Flag":100,"Uin":"7","PubUrlPub":"127.0.0","Domain":"1:1935","PublishRoomInfo":"live","stream":"s"})";

}  // namespace

TEST_F(LoginTest, MainWindowStaysHiddenUntilLoginThenShowsCentred) {
  DemoService service;
  ASSERT_TRUE(service.Start("demo", "demo", "rtmp://127.0.0.1:1935/live/velmora"));
  ASSERT_TRUE(m_session.WriteLoginUrl(service.LoginUrl()));
  const XWindow login = StartAtLogin();
  ASSERT_NE(login, 0u) << m_session.Output();
  EXPECT_TRUE(test_support::Screenshot(login, ScreenshotPath("login_window")));
  // Created at start-up, but not shown before the login succeeds.
  const XWindow hidden = test_support::WaitForWindow("transwnd", 0, false);
  if (hidden != 0) {
    EXPECT_FALSE(test_support::IsViewable(hidden));
  }

  ASSERT_TRUE(blackbox::TypeLogin(login, "demo", "demo"));
  const XWindow main = test_support::WaitForWindow("transwnd", kWindowTimeoutMs);
  ASSERT_NE(main, 0u) << m_session.Output();
  EXPECT_TRUE(test_support::WaitForNoWindow("LoginDlg", kWindowTimeoutMs));
  WindowGeometry geometry;
  int screenWidth = 0, screenHeight = 0;
  ASSERT_TRUE(test_support::Geometry(main, &geometry));
  ASSERT_TRUE(test_support::ScreenSize(&screenWidth, &screenHeight));
  EXPECT_EQ(geometry.width, 990);
  EXPECT_EQ(geometry.height, 690);
  EXPECT_NEAR(geometry.x, (screenWidth - 990) / 2, 1);
  EXPECT_NEAR(geometry.y, (screenHeight - 690) / 2, 1);
  EXPECT_TRUE(CacheExists("demo"));
  // Written last when the main window takes over.
  const std::string dumpIni = m_session.File("DUMP.ini");
  EXPECT_TRUE(WaitUntil(kWindowTimeoutMs, [&] { return blackbox::DumpStatus(m_session.folder()) == "NoPub"; }));
  EXPECT_EQ(test_support::ReadIniValue(dumpIni, "DUMP", "UserID"), "demo");
}

TEST_F(LoginTest, EachRefusalShowsItsMessageAndKeepsOrDropsTheCachedAccount) {
  ScriptedService service;
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(m_session.WriteLoginUrl(service.LoginUrl()));
  service.Answer({200, kSuccess});
  ASSERT_NE(LogIn("anna", "secret"), 0u) << m_session.Output();
  ASSERT_TRUE(CacheExists("anna"));
  m_session.Stop();

  XWindow login = StartAtLogin();
  ASSERT_NE(login, 0u);
  // A Flag of the right number as a string is no answer the program knows.
  service.Answer({200, R"({"Flag":"100"})"});
  ExpectPrompt(login, "请求数据失败！", "prompt_unknown_flag");
  EXPECT_TRUE(CacheExists("anna"));

  service.Answer({200, R"({"Flag":104})"});
  ExpectPrompt(login, "当前用户已经被冻结！", "prompt_frozen");
  EXPECT_TRUE(WaitUntil(5000, [&] { return !CacheExists("anna"); }));

  service.Answer({200, R"({"Flag":102})"});
  ExpectPrompt(login, "用户名或者密码错误！", "prompt_bad_credentials");

  // A success reply with a number the program cannot read still lets the
  // presenter in, with nothing cached.
  service.Answer({200, R"({"Flag":100,"ADBitRate":48})"});
  ExpectPrompt(login, "请求数据解析异常,请检查设置参数！", "prompt_malformed_reply");
  EXPECT_NE(test_support::WaitForWindow("transwnd", kWindowTimeoutMs), 0u);
  EXPECT_FALSE(CacheExists("anna"));
  m_session.Stop();

  // A wrong password drops a cache made by a later good login.
  service.Answer({200, kSuccess});
  ASSERT_NE(LogIn("anna", "secret"), 0u);
  ASSERT_TRUE(CacheExists("anna"));
  m_session.Stop();
  login = StartAtLogin();
  ASSERT_NE(login, 0u);
  service.Answer({200, R"({"Flag":103})"});
  ExpectPrompt(login, "用户名或者密码错误！", "prompt_wrong_password");
  EXPECT_TRUE(WaitUntil(5000, [&] { return !CacheExists("anna"); }));
}

TEST_F(LoginTest, WithoutAnAnswerOnlyTheCachedPasswordOpensTheAccount) {
  DemoService online;
  ASSERT_TRUE(online.Start("demo", "demo", "rtmp://127.0.0.1:1935/live/velmora"));
  ASSERT_TRUE(m_session.WriteLoginUrl(online.LoginUrl()));
  ASSERT_NE(LogIn("demo", "demo"), 0u) << m_session.Output();
  m_session.Stop();
  online.Stop();

  // The service answers at HTTP level only with 404: no reply to act on.
  ScriptedService refusing;
  ASSERT_TRUE(refusing.Start());
  ASSERT_TRUE(m_session.WriteLoginUrl(refusing.LoginUrl()));
  const XWindow login = StartAtLogin();
  ASSERT_NE(login, 0u);
  ASSERT_TRUE(blackbox::TypeLogin(login, "demo", "wrong"));
  ASSERT_TRUE(refusing.server().WaitForRequests(1, kWindowTimeoutMs));
  // The window takes a new click only once the first reply was acted on; a
  // second request therefore shows that the wrong password left the
  // presenter at the login window.
  ASSERT_TRUE(WaitUntil(kWindowTimeoutMs, [&] {
    blackbox::TypeLogin(login, "demo", "demo");
    return refusing.server().WaitForRequests(2, 2000);
  }));
  EXPECT_NE(test_support::WaitForWindow("transwnd", kWindowTimeoutMs), 0u);
  m_session.Stop();

  // A service that accepts the connection and never answers: the request
  // gives up after the client's silence limit, then the cache opens.
  DemoService stalled;
  ASSERT_TRUE(stalled.Start("demo", "demo", "rtmp://127.0.0.1:1935/live/velmora", ServiceMode::kStall));
  ASSERT_TRUE(m_session.WriteLoginUrl(stalled.LoginUrl()));
  const XWindow again = StartAtLogin();
  ASSERT_NE(again, 0u);
  ASSERT_TRUE(blackbox::TypeLogin(again, "demo", "demo"));
  EXPECT_NE(test_support::WaitForWindow("transwnd", 90000), 0u);
}

// A user_config.xml cut short (a crash while another program wrote it):
// the program starts, says once that the settings were reset, keeps the
// damaged file beside the new one, and the presenter logs in as usual.
TEST_F(LoginTest, ADamagedConfigurationIsKeptAsideAndTheResetIsTold) {
  DemoService service;
  ASSERT_TRUE(service.Start("demo", "demo", "rtmp://127.0.0.1:1935/live/velmora"));
  ASSERT_TRUE(m_session.WriteLoginUrl(service.LoginUrl()));
  const std::string damaged =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<USERINFO>\n    <MIC>Studio</MIC>\n    <VOLUME>35</VOLUME>\n"
      "    <USERID>demo</USERID>\n</USERI";
  ASSERT_TRUE(test_support::WriteFileBytes(m_session.File("user_config.xml"), damaged));
  const XWindow login = StartAtLogin();
  ASSERT_NE(login, 0u) << m_session.Output();
  const std::vector<std::string> kept = NamesStartingWith(m_session.folder(), "user_config.xml.bad-");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(test_support::ReadFileBytes(m_session.File(kept[0])), damaged);
  ExpectPromptShows("设置文件 user_config.xml 已损坏或无法读取，所有设置已恢复为默认值。\n原文件已保留为 " + kept[0] + "。",
                    "prompt_settings_reset");

  ASSERT_TRUE(blackbox::TypeLogin(login, "demo", "demo"));
  const XWindow main = test_support::WaitForWindow("transwnd", kWindowTimeoutMs);
  ASSERT_NE(main, 0u) << m_session.Output();
  ASSERT_TRUE(blackbox::ClickControl(main, "skin.xml", "closebtn"));
  const XWindow exitDialog = test_support::WaitForWindow("EDLG", kWindowTimeoutMs);
  ASSERT_NE(exitDialog, 0u);
  ASSERT_TRUE(blackbox::ClickControl(exitDialog, "exitDlg.xml", "comfirm"));
  int exitCode = -1;
  ASSERT_TRUE(m_session.WaitForExit(kWindowTimeoutMs, &exitCode)) << m_session.Output();
  EXPECT_EQ(exitCode, 0);
  // The new file holds the defaults and this login; the damaged one is as it was.
  const std::string saved = test_support::ReadFileBytes(m_session.File("user_config.xml"));
  EXPECT_NE(saved.find("<VOLUME>80</VOLUME>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<USERID>demo</USERID>"), std::string::npos) << saved;
  EXPECT_EQ(test_support::ReadFileBytes(m_session.File(kept[0])), damaged);
}

// A login service that takes the request and never answers: closing the
// login window ends the program at once, not when the request times out.
TEST_F(LoginTest, ClosingDuringAHungLoginEndsTheProgramAtOnce) {
  ScriptedService service;
  ASSERT_TRUE(service.Start());
  service.Answer({200, "", true});
  ASSERT_TRUE(m_session.WriteLoginUrl(service.LoginUrl()));
  const XWindow login = StartAtLogin();
  ASSERT_NE(login, 0u) << m_session.Output();
  ASSERT_TRUE(blackbox::TypeLogin(login, "demo", "demo"));
  ASSERT_TRUE(service.server().WaitForRequests(1, kWindowTimeoutMs));
  ASSERT_TRUE(blackbox::ClickControl(login, "login.xml", "closebtn"));
  const auto clicked = std::chrono::steady_clock::now();
  int exitCode = -1;
  ASSERT_TRUE(m_session.WaitForExit(kWindowTimeoutMs, &exitCode)) << m_session.Output();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - clicked);
  EXPECT_LT(took.count(), 1000) << "ms from the close click to the end of the program";
  EXPECT_EQ(exitCode, 0);
  EXPECT_GT(test_support::FileSize(m_session.File("user_config.xml")), 0);
}
