// The login window against a fake login service on loopback: what each
// reply does to the boxes, the account's cache and the host; logins from the
// cache; and the request thread's life (one at a time, joined, late replies).
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

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

// Answers every message box the moment it is up, and keeps its texts.
class PromptCatcher : public QObject {
 public:
  PromptCatcher() {
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen.push_back(box->windowTitle() + "|" + box->text());
      box->button(QMessageBox::Ok)->click();
    });
    m_timer.start();
  }
  QStringList seen;

 private:
  QTimer m_timer;
};

// Holds replies back until the test lets them go.
class Gate {
 public:
  void Close() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_open = false;
  }
  void Open() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_open = true;
    m_changed.notify_all();
  }
  void Pass() {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return m_open; });
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_open = true;
};

const char kFullSuccess[] = R"({"Flag":100,"Uin":"9001","StrKey":"key-1","stream":"live1","BFrameCount":"2",
  "VBRQuality":"24","MaxOutResolution":"1920*1080","Domain":"cdn.test"})";

}  // namespace

class LoginWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { CPaintManagerUI::SetResourcePath(VELMORA_SKIN_DIR); }

  void init() {
    m_folder = std::make_unique<test_support::TempDir>("login-test");
    SetProgramFolderForTesting(m_folder->path());
    m_reply = HttpReply{200, kFullSuccess};
    m_arrived = 0;
    m_server = std::make_unique<test_support::FakeHttpServer>();
    QVERIFY(m_server->Start([this](const std::string&) {
      ++m_arrived;
      m_gate.Pass();
      std::lock_guard<std::mutex> hold(m_replyLock);
      return m_reply;
    }));
    PointAt("http://127.0.0.1:" + std::to_string(m_server->port()) + "/login?v=1");
    ThePublishParams().Set(PublishParamValues());
    m_host = FakeHost();
  }
  void cleanup() {
    m_gate.Open();
    m_server.reset();
    m_folder.reset();
  }

  void successStoresCredentialsCacheAndHandsOver() {
    PromptCatcher prompts;
    auto wnd = Open();
    Type(*wnd, "a b", "p");
    Click(*wnd, L"login");
    QTRY_COMPARE(m_host.successes, 1);
    QVERIFY(prompts.seen.isEmpty());
    QVERIFY(!wnd->GetWidget()->isVisible());
    // The request as sent: name stripped and encoded, the password's digest.
    const std::string target = m_server->Requests().at(0);
    const std::string head = "/login?v=1&a=getStream&id=ab&pwd=" + Md5Hex("p") + "&type=pc&time=";
    QCOMPARE(target.substr(0, head.size()), head);
    QVERIFY(std::abs(std::stoll(target.substr(head.size())) - time(nullptr)) < 60);

    QCOMPARE(TheUserConfig().GetUserId(), std::string("a b"));
    QCOMPARE(TheUserConfig().GetUserPwd(), std::string("p"));
    QCOMPARE(TheUserConfig().Get().accountNumber, std::string("9001"));
    const PublishParamValues params = ThePublishParams().Get();
    QCOMPARE(params.StrKey, std::string("key-1"));
    QCOMPARE(params.BFrameCount, 2);
    QCOMPARE(params.Quality, 24);
    // The cache holds what was stored, and a check value instead of the password.
    CPublishParams cached;
    QVERIFY(cached.LoadIni(UserIniPath("a b")));
    QCOMPARE(cached.Get().stream, std::string("live1"));
    QCOMPARE(cached.Get().strDomain, std::string(".cdn.test"));
    QCOMPARE(cached.Get().MaxVDWidth, 1920);
    QVERIFY(CachedPasswordMatches("a b", "p"));
    QVERIFY(test_support::ReadFileBytes(UserIniPath("a b")).find("=p\n") == std::string::npos);
  }

  void refusalsShowTheirTextAndDropTheCache() {
    struct Case {
      const char* body;
      QString text;
      bool cacheKept;
    };
    const Case cases[] = {
        {R"({"Flag":104})", "提示|当前用户已经被冻结！", false},
        {R"({"Flag":103})", "提示|用户名或者密码错误！", false},
        {R"({"Flag":102})", "提示|用户名或者密码错误！", false},
        {R"({"Flag":"100"})", "提示|请求数据失败！", true},
        {R"({"Flag":7})", "提示|请求数据失败！", true},
        {R"([{"Flag":100}])", "提示|请求数据失败！", true},
    };
    auto wnd = Open();
    for (const Case& c : cases) {
      PromptCatcher prompts;
      SeedCache("bob", "pw");
      SetReply(HttpReply{200, c.body});
      Type(*wnd, "bob", "pw");
      Click(*wnd, L"login");
      QTRY_COMPARE(prompts.seen.size(), 1);
      QCOMPARE(prompts.seen.at(0), c.text);
      QCOMPARE(test_support::FileSize(UserIniPath("bob")) >= 0, c.cacheKept);
      QTRY_VERIFY(!wnd->IsRequesting());
      QCOMPARE(m_host.successes, 0);
      QVERIFY(wnd->GetWidget()->isVisible());
    }
    // Refused, the account is no longer let in by an unreachable service.
    SeedCache("bob", "pw");
    SetReply(HttpReply{200, R"({"Flag":103})"});
    PromptCatcher prompts;
    Click(*wnd, L"login");
    QTRY_COMPARE(prompts.seen.size(), 1);
    QTRY_VERIFY(!wnd->IsRequesting());
    SetReply(HttpReply{404, "gone"});
    Click(*wnd, L"login");
    QTRY_VERIFY(m_server->Requests().size() == 8 && !wnd->IsRequesting());
    QCOMPARE(m_host.successes, 0);
  }

  void unreadableSuccessStillOpensTheMainWindow() {
    PromptCatcher prompts;
    SetReply(HttpReply{200, R"({"Flag":100,"ADBitRate":48,"StrKey":"new"})"});
    auto wnd = Open();
    Type(*wnd, "carol", "pw");
    Click(*wnd, L"login");
    QTRY_COMPARE(m_host.successes, 1);
    QCOMPARE(prompts.seen, QStringList{"提示|请求数据解析异常,请检查设置参数！"});
    QCOMPARE(ThePublishParams().Get().StrKey, std::string());  // as they were
    QCOMPARE(test_support::FileSize(UserIniPath("carol")), -1LL);
  }

  void noAnswerLogsInFromTheCacheOnlyWithItsPassword() {
    // An unreachable service, a 404 and a service that never answers all
    // count as no answer.
    test_support::RefusingPort refusing;
    struct Case {
      std::string url;
      HttpReply reply;
    };
    const std::string own = "http://127.0.0.1:" + std::to_string(m_server->port()) + "/login?v=1";
    const Case cases[] = {{"http://127.0.0.1:" + std::to_string(refusing.port()) + "/login?v=1", {}},
                          {own, HttpReply{404, R"({"Flag":100})"}},
                          {own, HttpReply{200, "", true}}};
    for (const Case& c : cases) {
      PointAt(c.url);
      SetReply(c.reply);
      m_host = FakeHost();
      SeedCache("dave", "right");
      auto wnd = Open();
      Type(*wnd, "dave", "wrong");
      Click(*wnd, L"login");
      QTRY_VERIFY_WITH_TIMEOUT(!wnd->IsRequesting(), 20000);
      QCOMPARE(m_host.successes, 0);
      QCOMPARE(ThePublishParams().Get().StrKey, std::string());

      Type(*wnd, "dave", "right");
      Click(*wnd, L"login");
      QTRY_COMPARE_WITH_TIMEOUT(m_host.successes, 1, 20000);
      QCOMPARE(ThePublishParams().Get().StrKey, std::string("cached-key"));
      ThePublishParams().Set(PublishParamValues());
    }
    // A cache written without a check value opens for nobody.
    PointAt("http://127.0.0.1:" + std::to_string(refusing.port()) + "/");
    m_host = FakeHost();
    PublishParamValues old;
    old.StrKey = "old-key";
    ThePublishParams().Set(old);
    QVERIFY(SaveUserIni("erin"));
    ThePublishParams().Set(PublishParamValues());
    auto wnd = Open();
    Type(*wnd, "erin", "");
    Click(*wnd, L"login");
    QTRY_VERIFY(!wnd->IsRequesting());
    QCOMPARE(m_host.successes, 0);
  }

  void oneRequestAtATimeWithTheCredentialsOfTheClick() {
    auto wnd = Open();
    m_gate.Close();
    Type(*wnd, "frank", "first");
    Click(*wnd, L"login");
    QTRY_COMPARE(m_arrived.load(), 1);
    QVERIFY(wnd->IsRequesting());
    // What is typed while the request runs neither starts another nor counts.
    Type(*wnd, "mallory", "other");
    Click(*wnd, L"login");
    Click(*wnd, L"login");
    m_gate.Open();
    QTRY_COMPARE(m_host.successes, 1);
    QCOMPARE(m_server->Requests().size(), size_t(1));
    QCOMPARE(TheUserConfig().GetUserId(), std::string("frank"));
    QCOMPARE(TheUserConfig().GetUserPwd(), std::string("first"));
    QVERIFY(CachedPasswordMatches("frank", "first"));
    QCOMPARE(test_support::FileSize(UserIniPath("mallory")), -1LL);
  }

  void replyAfterCloseIsDroppedAndClosingQuits() {
    auto wnd = Open();
    m_gate.Close();
    Type(*wnd, "gina", "pw");
    Click(*wnd, L"login");
    QTRY_COMPARE(m_arrived.load(), 1);
    wnd->Close();
    QTRY_COMPARE(m_host.quits, std::vector<int>{2});
    m_gate.Open();
    wnd.reset();  // joins the request thread; its reply finds no window
    QCoreApplication::processEvents();
    QCOMPARE(m_host.successes, 0);
    QCOMPARE(ThePublishParams().Get().StrKey, std::string());
    QCOMPARE(test_support::FileSize(UserIniPath("gina")), -1LL);

    auto other = Open();
    Click(*other, L"closebtn");
    QCOMPARE(m_host.quits, (std::vector<int>{2, 2}));
  }

 private:
  std::unique_ptr<CLoginWnd> Open() {
    auto wnd = std::make_unique<CLoginWnd>(&m_host, HttpLimits{2000, 1});
    if (wnd->Create(0, L"LoginDlg", UI_WNDSTYLE_FRAME, 0) == 0) qWarning("%s", wnd->GetCreateError().c_str());
    return wnd;
  }
  void Type(CLoginWnd& wnd, const std::string& user, const std::string& pwd) {
    wnd.GetPaintManager().FindControl(L"editUser")->SetText(QString::fromStdString(user).toStdWString());
    wnd.GetPaintManager().FindControl(L"editPwd")->SetText(QString::fromStdString(pwd).toStdWString());
  }
  void Click(CLoginWnd& wnd, const wchar_t* name) {
    QTest::mouseClick(wnd.GetPaintManager().FindControl(name)->GetWidget(), Qt::LeftButton);
  }
  void PointAt(const std::string& url) {
    QVERIFY(IniWriteString(m_folder->File("HtmlURL.ini"), "PARAMS", "URL", url));
  }
  void SetReply(const HttpReply& reply) {
    std::lock_guard<std::mutex> hold(m_replyLock);
    m_reply = reply;
  }
  // The account's cache as an earlier online login leaves it.
  void SeedCache(const std::string& account, const std::string& password) {
    const PublishParamValues now = ThePublishParams().Get();
    PublishParamValues cached;
    cached.StrKey = "cached-key";
    ThePublishParams().Set(cached);
    QVERIFY(StoreAccountCache(account, password));
    ThePublishParams().Set(now);
  }

  std::unique_ptr<test_support::TempDir> m_folder;
  std::unique_ptr<test_support::FakeHttpServer> m_server;
  Gate m_gate;
  std::atomic<int> m_arrived{0};
  std::mutex m_replyLock;
  HttpReply m_reply;
  FakeHost m_host;
};

QTEST_MAIN(LoginWindowTest)
#include "login_window_test.moc"
