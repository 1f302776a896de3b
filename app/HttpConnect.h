// IHttpInterface over libcurl. An instance serves one thread at a time; only
// the notify window and message may be set from another thread meanwhile.
#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "app/HttpUrl.h"
#include "app/IHttpInterface.h"

class CHttpConnect final : public IHttpInterface {
 public:
  CHttpConnect(const HttpLimits& limits, std::shared_ptr<HttpCancellation> cancel);
  ~CHttpConnect() override;
  CHttpConnect(const CHttpConnect&) = delete;
  CHttpConnect& operator=(const CHttpConnect&) = delete;

  std::string HttpRequestW(const std::wstring& url, int method, const std::wstring& body,
                           std::wstring headers) override;
  std::string HttpRequestA(const std::string& url, int method, const std::string& body,
                           std::string headers) override;
  bool DownloadFileA(const std::string& url, const std::string& path) override;
  bool DownloadFileW(const std::wstring& url, const std::wstring& path) override;
  void SetNotifyWnd(HWND window) override { notifyWindow_ = window; }
  void SetNotifyMsg(unsigned message) override { notifyMessage_ = message; }
  std::wstring& GetErrorText() override { return errorText_; }
  const wchar_t* GetErrorTextPtr() override { return errorText_.c_str(); }
  std::wstring AnsiToUnicode(const std::string& text) override;
  std::string UnicodeToAnsi(const std::wstring& text) override;
  std::wstring Utf8ToUnicode(const std::string& text) override;
  void Release() override { delete this; }
  Failure LastFailure() const override { return lastFailure_; }

 private:
  // The two request forms differ only in these.
  struct RequestForm {
    const char* userAgent;
    bool useSystemProxy;
    DefaultHeaderForm defaultHeaders;
    bool printsErrorCode;
  };
  std::string Request(const std::string& url, int method, const std::string& body, const std::string& headers,
                      const RequestForm& form);
  void SetFailed(Failure why);
  void Succeeded() { lastFailure_ = Failure::kNone; }
  static Failure FailureOf(const HttpTransferResult& result);

  const HttpLimits limits_;
  const std::shared_ptr<HttpCancellation> cancel_;
  Failure lastFailure_ = Failure::kNone;
  std::atomic<HWND> notifyWindow_{0};
  std::atomic<unsigned> notifyMessage_{0};
  std::wstring errorText_;
};
