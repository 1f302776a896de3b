// The login window: asks for the user name and password, sends the login
// request on a worker thread and acts on the reply on the GUI thread: stores
// the account's publish parameters and credentials and hands over to the
// host, shows why a login was refused, or logs in from the account's cache
// when the service does not answer. Closing it ends the program.
#pragma once
#include <string>

#include "app/HttpTransfer.h"
#include "platform/duilib/window_impl_base.h"
#include "ui/LoginHost.h"
#include "ui/NetProc.h"

struct LoginFields;

class CLoginWnd : public WindowImplBase, public CNetProcNotifySink {
 public:
  explicit CLoginWnd(ILoginHost* host, const HttpLimits& limits = HttpLimits());
  // Cancels a running request (at once, whatever the service does) and joins
  // its thread; its reply is dropped.
  ~CLoginWnd() override;

  // A request is out and its reply not yet acted on; clicks do nothing.
  bool IsRequesting() const { return m_requesting; }

  // Enter in the password field logs in, as the login button does.
  void Notify(TNotifyUI& msg) override;

  // CNetProcNotifySink
  void OnReply(std::string reply) override;
  void OnResponse(std::string reply) override;
  void OnElapsed(int) override {}
  void OnOversizedReply() override;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"LoginDlg"; }
  std::wstring GetSkinFile() override { return L"login.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void StartLogin();
  void Quit();
  void LoginFromCache();
  void ApplySuccess(const LoginFields& fields);
  void OnLoginOk();

  ILoginHost* m_host;  // not owned
  CControlUI* m_closeBtn = nullptr;
  CControlUI* m_loginBtn = nullptr;
  CControlUI* m_editUser = nullptr;
  CControlUI* m_editPwd = nullptr;
  std::string m_baseUrl;
  // What was typed at the click; the reply is judged against these, not
  // against whatever the edits hold by then.
  std::string m_account;
  std::string m_password;
  bool m_requesting = false;
  CNetProc m_netProc;
};
