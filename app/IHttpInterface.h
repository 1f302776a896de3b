// The program's HTTP client: one blocking request at a time, the reply body
// as narrow text, file downloads with progress messages to a window, the text
// of the last failure, and the program's text conversions. The login worker
// creates one per login, uses it on its own thread and releases it.
#pragma once
#include <memory>
#include <stdexcept>
#include <string>

#include "app/HttpTransfer.h"
#include "strivon/WindowHandle.h"

// What Utf8ToUnicode throws for text that is not UTF-8; what() is
// "Utf8ToUnicode出错：无效的UTF-8字符串。".
class Utf8ToUnicodeError : public std::runtime_error {
 public:
  Utf8ToUnicodeError();
};

class IHttpInterface {
 public:
  // method 1 is GET, anything else POST. Empty headers select the default
  // block. The reply body, or "" on failure (GetErrorText then says so); a
  // reply whose status line holds "404" is a failure, other statuses give
  // their body. An empty URL returns "" and leaves the error text alone.
  virtual std::string HttpRequestW(const std::wstring& url, int method, const std::wstring& body,
                                   std::wstring headers) = 0;
  virtual std::string HttpRequestA(const std::string& url, int method, const std::string& body,
                                   std::string headers) = 0;
  // GET into path (missing folders are created). The file appears only when
  // the whole body arrived and matches the reply's Content-Length; otherwise
  // false, and path is left as it was. While it runs, each piece received
  // posts {notify window, notify message, bytes so far, 0} to
  // TheProgramEvents(), when a notify window is set.
  virtual bool DownloadFileA(const std::string& url, const std::string& path) = 0;
  virtual bool DownloadFileW(const std::wstring& url, const std::wstring& path) = 0;
  virtual void SetNotifyWnd(HWND window) = 0;
  virtual void SetNotifyMsg(unsigned message) = 0;
  // Empty until the first failure; then the last failure's text.
  virtual std::wstring& GetErrorText() = 0;
  virtual const wchar_t* GetErrorTextPtr() = 0;
  // Narrow is UTF-8; the first two end at the first NUL.
  virtual std::wstring AnsiToUnicode(const std::string& text) = 0;
  virtual std::string UnicodeToAnsi(const std::wstring& text) = 0;
  // The whole text. Throws Utf8ToUnicodeError for invalid UTF-8: the only
  // operation that throws, so callers wrap it in try/catch and never let the
  // exception leave their own component.
  virtual std::wstring Utf8ToUnicode(const std::string& text) = 0;
  virtual void Release() = 0;
  virtual ~IHttpInterface() = default;

  // Why the last request or download failed, beyond the one error text the
  // presenter sees: a reply over HttpLimits::maxReplyBytes is an answer the
  // program refuses, not a service it could not reach.
  enum class Failure { kNone, kUnreachable, kTooLarge, kCancelled };
  virtual Failure LastFailure() const = 0;
};

// A new client; free it with Release. Tests pass shorter limits. A request
// or download of this client ends at once when cancel (may be null) is
// cancelled, from any thread.
IHttpInterface* CreateHttpConnect(const HttpLimits& limits = HttpLimits(),
                                  std::shared_ptr<HttpCancellation> cancel = nullptr);

struct HttpInterfaceRelease {
  void operator()(IHttpInterface* http) const {
    if (http != nullptr) http->Release();
  }
};
