#include "ui/LoginWnd.h"

#include <ctime>
#include <memory>

#include "app/PublishParams.h"
#include "app/StringConvert.h"
#include "app/UserConfig.h"
#include "ui/LoginCache.h"
#include "ui/LoginReply.h"
#include "ui/LoginRequest.h"
#include "ui/PromptBox.h"

namespace {

// The reply text, posted from the worker to the window; the payload is a
// heap string the window takes over.
constexpr UINT WM_LOGIN_REPLY = WM_USER + 0x120;
// Its second parameter when the service's reply was too large to be a login
// reply and was dropped; the payload is then empty.
constexpr LPARAM kOversizedReply = 1;

void FreeReply(WPARAM wParam, LPARAM) { delete reinterpret_cast<std::string*>(wParam); }

}  // namespace

CLoginWnd::CLoginWnd(ILoginHost* host, const HttpLimits& limits) : m_host(host), m_netProc(limits) {}

CLoginWnd::~CLoginWnd() {
  // The worker calls back into this object; it must be done before any
  // member goes, and a silent service must not hold the program's exit.
  m_netProc.Cancel();
  m_netProc.Join();
}

void CLoginWnd::InitWindow() {
  SetStyle(GetStyle() & WS_THICKFRAME);
  m_closeBtn = m_PaintManager.FindControl(L"closebtn");
  m_loginBtn = m_PaintManager.FindControl(L"login");
  m_editUser = m_PaintManager.FindControl(L"editUser");
  m_editPwd = m_PaintManager.FindControl(L"editPwd");
  m_baseUrl = ReadLoginBaseUrl();
  m_netProc.SetSink(this);
  const std::string password = TheUserConfig().GetUserPwd();
  const std::string user = TheUserConfig().GetUserId();
  if (!password.empty() && !user.empty()) {
    if (m_editPwd) m_editPwd->SetText(MultiByteToWide(password));
    if (m_editUser) m_editUser->SetText(MultiByteToWide(user));
  }
}

void CLoginWnd::OnClick(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return;
  if (msg.pSender == m_closeBtn) {
    Quit();
  } else if (msg.pSender == m_loginBtn) {
    StartLogin();
  }
}

void CLoginWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == notify_type::kReturn && msg.pSender && msg.pSender == m_editPwd) {
    StartLogin();
    return;
  }
  WindowImplBase::Notify(msg);
}

void CLoginWnd::StartLogin() {
  if (m_requesting) return;
  const std::string password = m_editPwd ? WideToMultiByte(m_editPwd->GetText()) : std::string();
  const std::string user = m_editUser ? WideToMultiByte(m_editUser->GetText()) : std::string();
  const std::string url = BuildLoginUrl(m_baseUrl, user, password, static_cast<int32_t>(std::time(nullptr)));
  if (!m_netProc.Start(url)) return;
  m_requesting = true;
  m_account = user;
  m_password = password;
}

void CLoginWnd::Quit() {
  // Nothing the request could still bring is wanted once the program ends.
  m_netProc.Cancel();
  if (m_host) m_host->QuitProgram(2);
}

void CLoginWnd::OnOversizedReply() {
  PostMessageW(WM_LOGIN_REPLY, reinterpret_cast<WPARAM>(new std::string()), kOversizedReply, FreeReply);
}

void CLoginWnd::OnResponse(std::string reply) {
  // Worker thread: only the hand-over. A window that is gone drops it.
  auto* payload = new std::string(std::move(reply));
  PostMessageW(WM_LOGIN_REPLY, reinterpret_cast<WPARAM>(payload), 0, FreeReply);
}

LRESULT CLoginWnd::HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  if (message != WM_LOGIN_REPLY) return 0;
  handled = true;
  std::unique_ptr<std::string> reply(reinterpret_cast<std::string*>(wParam));
  m_requesting = false;
  if (lParam == kOversizedReply) {
    // An answer, but none the program can use: as for any unknown reply.
    ShowPromptBox(LoginOutcomeText(LoginOutcome::kFailed), L"提示");
    return 0;
  }
  OnReply(std::move(*reply));
  return 0;
}

void CLoginWnd::OnReply(std::string reply) {
  if (reply.empty()) {
    LoginFromCache();
    return;
  }
  const LoginReply result = InterpretLoginReply(reply);
  switch (result.outcome) {
    case LoginOutcome::kSuccess:
      ApplySuccess(result.fields);
      return;
    case LoginOutcome::kMalformed:
      // The presenter still gets in, with the parameters as they were.
      ShowPromptBox(LoginOutcomeText(result.outcome), L"提示");
      OnLoginOk();
      return;
    case LoginOutcome::kFrozen:
    case LoginOutcome::kBadCredentials:
      ShowPromptBox(LoginOutcomeText(result.outcome), L"提示");
      DeleteUserIni(m_account);
      return;
    case LoginOutcome::kFailed:
      ShowPromptBox(LoginOutcomeText(result.outcome), L"提示");
      return;
  }
}

void CLoginWnd::LoginFromCache() {
  // Without the service, only the password checked at the last online login
  // opens the account; the credentials are not stored.
  switch (OpenAccountCache(m_account, m_password)) {
    case AccountCacheOpen::kOpened:
      OnLoginOk();
      return;
    case AccountCacheOpen::kTooLarge:
      ShowPromptBox(L"该账号的缓存参数文件过大（超过 1 MB），未读取。请在网络恢复后重新登录。", L"提示");
      return;
    case AccountCacheOpen::kRefused:
      return;
  }
}

void CLoginWnd::ApplySuccess(const LoginFields& fields) {
  if (!fields.uin.empty()) TheUserConfig().SetAccountNumber(fields.uin);
  TheUserConfig().SetCredentials(m_account, m_password, "");
  PublishParamValues params = ThePublishParams().Get();
  ApplyLoginFields(fields, params);
  ThePublishParams().Set(params);
  StoreAccountCache(m_account, m_password);
  OnLoginOk();
}

void CLoginWnd::OnLoginOk() {
  // Online or from the cache, this is the account in use from now on.
  TheUserConfig().SetLoginAccount(m_account);
  ShowWindow(false, true);
  if (m_host) m_host->OnLoginSuccess();
}

void CLoginWnd::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  Quit();
}
