// The login window against a fake login service on loopback: what each
// reply does to the boxes, the account's cache and the host; logins from the
// cache; oversized replies and caches; and the request thread's life (one at
// a time, joined, cancelled on close, late replies).
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/FileAccess.h"
#include "app/IniFile.h"
#include "app/Md5Hex.h"
#include "app/ProgramFolder.h"
#include "app/PublishParams.h"
#include "app/UserConfig.h"
#include "tests/support/fake_http_server.h"
#include "tests/support/free_port.h"
#include "tests/support/temp_dir.h"
#include "ui/LoginCache.h"
#include "ui/LoginWnd.h"

using test_support::HttpReply;

namespace {

struct FakeHost : ILoginHost {
  int successes = 0;
  std::vector<int> quits;
  void OnLoginSuccess() override { ++successes; }
  void QuitProgram(int code) override { quits.push_back(code); }
};

// Answers every message box as soon as it is up and keeps "caption|text".
struct PromptCatcher : QObject {
  QStringList seen;
  QTimer timer;
  PromptCatcher() {
    connect(&timer, &QTimer::timeout, this, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen.push_back(box->windowTitle() + "|" + box->text());
        box->button(QMessageBox::Ok)->click();
      }
    });
    timer.start(5);
  }
};

bool CacheExists(const std::string& account) { return test_support::FileSize(UserIniPath(account)) >= 0; }

}  // namespace

class LoginWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR); }
  void init() {
    m_folder = std::make_unique<test_support::TempDir>("login-test");
    SetProgramFolderForTesting(m_folder->path());
    SetReply(HttpReply{200, R"({"Flag":100,"Uin":"9001","StrKey":"key-1","BFrameCount":"2","Domain":"cdn.test"})"});
    m_arrived = 0;
    m_server = std::make_unique<test_support::FakeHttpServer>();
    QVERIFY(m_server->Start([this](const std::string&) {
      ++m_arrived;
      std::unique_lock<std::mutex> hold(m_lock);
      m_changed.wait(hold, [this] { return !m_holdReplies; });
      return m_reply;
    }));
    PointAt(m_server->port());
    ThePublishParams().Set(PublishParamValues());
    m_host = FakeHost();
  }
  void cleanup() {
    HoldReplies(false);
    m_server.reset();
    m_folder.reset();
  }

  void successStoresCredentialsCacheAndHandsOver() {
    auto wnd = Open();
    Login(*wnd, "a b", "p");
    QTRY_COMPARE(m_host.successes, 1);
    QVERIFY(!wnd->GetWidget()->isVisible());
    const std::string target = m_server->Requests().at(0);
    const std::string head = "/login?v=1&a=getStream&id=ab&pwd=" + Md5Hex("p") + "&type=pc&time=";
    QCOMPARE(target.substr(0, head.size()), head);
    QVERIFY(std::abs(std::stoll(target.substr(head.size())) - time(nullptr)) < 60);
    const UserConfigValues config = TheUserConfig().Get();
    QCOMPARE(config.userId + "|" + config.userPwd + "|" + config.accountNumber, std::string("a b|p|9001"));
    CPublishParams cached;  // the cache holds what the host now reads
    QVERIFY(cached.LoadIni(UserIniPath("a b")));
    QCOMPARE(cached.Get().StrKey + cached.Get().strDomain, std::string("key-1.cdn.test"));
    QCOMPARE(ThePublishParams().Get().BFrameCount, 2);
    QVERIFY(CachedPasswordMatches("a b", "p"));
    QVERIFY(!CachedPasswordMatches("a b", "P"));
  }

  void refusalsShowTheirTextAndDropTheCache() {
    const std::pair<const char*, QString> cases[] = {
        {R"({"Flag":"100"})", "提示|请求数据失败！"}, {R"({"Flag":7})", "提示|请求数据失败！"},
        {R"([{"Flag":100}])", "提示|请求数据失败！"}, {"100", "提示|请求数据失败！"},
        {R"({"Flag":104})", "提示|当前用户已经被冻结！"}, {R"({"Flag":102})", "提示|用户名或者密码错误！"},
        {R"({"Flag":103})", "提示|用户名或者密码错误！"}};
    auto wnd = Open();
    for (const auto& [body, text] : cases) {
      PromptCatcher prompts;
      SeedCache("bob", "pw");
      SetReply(HttpReply{200, body});
      Login(*wnd, "bob", "pw");
      QTRY_VERIFY(!wnd->IsRequesting() && prompts.seen.size() == 1);
      QCOMPARE(prompts.seen.at(0), text);
      QCOMPARE(CacheExists("bob"), text.endsWith("请求数据失败！"));
      QVERIFY(m_host.successes == 0 && wnd->GetWidget()->isVisible());
    }
    // Refused last time: an unreachable service no longer lets the account in.
    SetReply(HttpReply{404, "gone"});
    Login(*wnd, "bob", "pw");
    QTRY_VERIFY(!wnd->IsRequesting());
    QCOMPARE(m_host.successes, 0);
  }

  void unreadableSuccessStillOpensTheMainWindow() {
    PromptCatcher prompts;
    SetReply(HttpReply{200, R"({"Flag":100,"ADBitRate":48,"StrKey":"new"})"});
    auto wnd = Open();
    Login(*wnd, "carol", "pw");
    QTRY_COMPARE(m_host.successes, 1);
    QCOMPARE(prompts.seen, QStringList{"提示|请求数据解析异常,请检查设置参数！"});
    QVERIFY(ThePublishParams().Get().StrKey.empty() && !CacheExists("carol"));
  }

  void noAnswerLogsInFromTheCacheOnlyWithItsPassword() {
    test_support::RefusingPort refusing;
    // Unreachable, 404 and a service that never answers are all no answer.
    const std::pair<int, HttpReply> cases[] = {
        {refusing.port(), {}}, {m_server->port(), {404, R"({"Flag":100})"}}, {m_server->port(), {200, "", true}}};
    for (const auto& [port, reply] : cases) {
      PointAt(port);
      SetReply(reply);
      m_host = FakeHost();
      SeedCache("dave", "right");
      auto wnd = Open();
      Login(*wnd, "dave", "wrong");
      QTRY_VERIFY_WITH_TIMEOUT(!wnd->IsRequesting(), 20000);
      QVERIFY(m_host.successes == 0 && ThePublishParams().Get().StrKey.empty());
      TheUserConfig().SetCredentials("erin", "pw", "");
      Login(*wnd, "dave", "right");
      QTRY_COMPARE_WITH_TIMEOUT(m_host.successes, 1, 20000);
      QCOMPARE(ThePublishParams().Get().StrKey, std::string("cached-key"));
      // dave is the account in use; the last online login stays erin.
      QCOMPARE(TheUserConfig().Get().loginAccount + "|" + TheUserConfig().GetUserId(), std::string("dave|erin"));
      ThePublishParams().Set(PublishParamValues());
    }
    // A cache without a check value opens for nobody.
    QVERIFY(SaveUserIni("erin"));
    m_host = FakeHost();
    auto wnd = Open();
    Login(*wnd, "erin", "");
    QTRY_VERIFY(!wnd->IsRequesting());
    QCOMPARE(m_host.successes, 0);
  }

  void oneRequestAtATimeWithTheCredentialsOfTheClick() {
    auto wnd = Open();
    HoldReplies(true);
    Login(*wnd, "frank", "first");
    QTRY_COMPARE(m_arrived.load(), 1);
    Login(*wnd, "mallory", "other");  // neither starts a request nor counts
    HoldReplies(false);
    QTRY_COMPARE(m_host.successes, 1);
    QCOMPARE(m_server->Requests().size(), size_t(1));
    QCOMPARE(TheUserConfig().GetUserId() + "|" + TheUserConfig().GetUserPwd(), std::string("frank|first"));
    QVERIFY(CachedPasswordMatches("frank", "first") && !CacheExists("mallory"));
  }

  void enterInThePasswordFieldLogsInAsTheButtonDoes() {
    auto wnd = Open();
    wnd->GetPaintManager().FindControl(L"editUser")->SetText(L"hank");
    CControlUI* password = wnd->GetPaintManager().FindControl(L"editPwd");
    password->SetText(L"pw");
    QTest::keyClick(password->GetWidget(), Qt::Key_Return);
    QTRY_COMPARE(m_host.successes, 1);
    QCOMPARE(TheUserConfig().GetUserId() + "|" + TheUserConfig().GetUserPwd(), std::string("hank|pw"));
  }

  void replyAfterCloseIsDroppedAndClosingQuits() {
    auto wnd = Open();
    HoldReplies(true);
    Login(*wnd, "gina", "pw");
    QTRY_COMPARE(m_arrived.load(), 1);
    wnd->Close();
    QTRY_COMPARE(m_host.quits, std::vector<int>{2});
    HoldReplies(false);
    wnd.reset();  // joins the request thread; its reply finds no window
    QCoreApplication::processEvents();
    QVERIFY(m_host.successes == 0 && ThePublishParams().Get().StrKey.empty() && !CacheExists("gina"));
    auto other = Open();
    Click(*other, L"closebtn");
    QCOMPARE(m_host.quits, (std::vector<int>{2, 2}));
  }

  // More than any login reply (a success, padded to 4 MiB): refused once
  // the cap is passed, with the message of an answer the program does not
  // know; the cache stays.
  void oversizedReplyFailsWithoutOpeningTheCache() {
    PromptCatcher prompts;
    SeedCache("hana", "pw");
    HttpReply huge;
    huge.raw = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n{\"Flag\":100,\"StrKey\":\"padded\"}";
    huge.piece = std::string(64 << 10, ' ');
    huge.pieces = 64;
    SetReply(huge);
    auto wnd = Open();
    Login(*wnd, "hana", "pw");
    QTRY_VERIFY(!wnd->IsRequesting() && prompts.seen.size() == 1);
    QCOMPARE(prompts.seen.at(0), QString("提示|请求数据失败！"));
    QVERIFY(m_host.successes == 0 && CacheExists("hana") && ThePublishParams().Get().StrKey.empty());
  }

  // A cache far larger than settings ever are is refused unread, with a
  // message, and opens nothing.
  void oversizedCacheIsRefusedWithAMessage() {
    PromptCatcher prompts;
    SeedCache("ivan", "pw");
    std::string bloated = test_support::ReadFileBytes(UserIniPath("ivan"));
    bloated.append(kMaxSettingsFileBytes, '\n');
    QVERIFY(test_support::WriteFileBytes(UserIniPath("ivan"), bloated));
    SetReply(HttpReply{404, ""});
    auto wnd = Open();
    Login(*wnd, "ivan", "pw");
    QTRY_VERIFY(!wnd->IsRequesting() && prompts.seen.size() == 1);
    QVERIFY2(prompts.seen.at(0).contains("过大"), qPrintable(prompts.seen.at(0)));
    QCOMPARE(m_host.successes, 0);
    // The next online login replaces it and keeps the refused one aside.
    SetReply(HttpReply{200, R"({"Flag":100,"StrKey":"fresh"})"});
    Login(*wnd, "ivan", "pw");
    QTRY_COMPARE(m_host.successes, 1);
    QVERIFY(test_support::FileSize(UserIniPath("ivan")) < 4096);
    QVERIFY(CachedPasswordMatches("ivan", "pw"));
  }

  // Closing while the service holds the request: the window goes at once,
  // whatever the time-outs, and nothing of the request arrives afterwards.
  void closingCancelsAHungRequestAtOnce() {
    SetReply(HttpReply{200, "", true});
    auto wnd = std::make_unique<CLoginWnd>(&m_host, HttpLimits{60000, 60});
    QVERIFY(wnd->Create(0, L"LoginDlg", UI_WNDSTYLE_FRAME, 0) != 0);
    Login(*wnd, "jack", "pw");
    QTRY_COMPARE(m_arrived.load(), 1);
    Click(*wnd, L"closebtn");
    QCOMPARE(m_host.quits, std::vector<int>{2});
    QElapsedTimer closing;
    closing.start();
    wnd.reset();
    QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
    QCoreApplication::processEvents();
    QVERIFY(m_host.successes == 0 && TheUserConfig().Get().loginAccount != "jack");
  }

 private:
  std::unique_ptr<CLoginWnd> Open() {
    auto wnd = std::make_unique<CLoginWnd>(&m_host, HttpLimits{2000, 1});
    if (wnd->Create(0, L"LoginDlg", UI_WNDSTYLE_FRAME, 0) == 0) qFatal("%s", wnd->GetCreateError().c_str());
    return wnd;
  }
  void Login(CLoginWnd& wnd, const std::string& user, const std::string& pwd) {
    wnd.GetPaintManager().FindControl(L"editUser")->SetText(QString::fromStdString(user).toStdWString());
    wnd.GetPaintManager().FindControl(L"editPwd")->SetText(QString::fromStdString(pwd).toStdWString());
    Click(wnd, L"login");
  }
  void Click(CLoginWnd& wnd, const wchar_t* name) {
    QTest::mouseClick(wnd.GetPaintManager().FindControl(name)->GetWidget(), Qt::LeftButton);
  }
  void PointAt(int port) {
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/login?v=1";
    QVERIFY(IniWriteString(m_folder->File("HtmlURL.ini"), "PARAMS", "URL", url));
  }
  void SetReply(const HttpReply& reply) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_reply = reply;
  }
  void HoldReplies(bool hold) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_holdReplies = hold;
    m_changed.notify_all();
  }
  // The account's cache as an earlier online login leaves it.
  void SeedCache(const std::string& account, const std::string& password) {
    PublishParamValues cached;
    cached.StrKey = "cached-key";
    ThePublishParams().Set(cached);
    QVERIFY(StoreAccountCache(account, password));
    ThePublishParams().Set(PublishParamValues());
  }

  std::unique_ptr<test_support::TempDir> m_folder;
  std::unique_ptr<test_support::FakeHttpServer> m_server;
  std::mutex m_lock;  // the reply and the hold flag, read by the server's thread
  std::condition_variable m_changed;
  bool m_holdReplies = false;
  std::atomic<int> m_arrived{0};
  HttpReply m_reply;
  FakeHost m_host;
};

QTEST_MAIN(LoginWindowTest)
#include "login_window_test.moc"
