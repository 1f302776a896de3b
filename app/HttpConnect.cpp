#include "app/HttpConnect.h"

#include <curl/curl.h>

#include <cstdio>

#include "app/DownloadTarget.h"
#include "app/HttpUrl.h"
#include "app/ProgramEvents.h"
#include "app/StringConvert.h"

namespace {

const char kBrowserAgent[] =
    "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/50.0.2661.75 "
    "Safari/537.36";
const char kClientAgent[] = "Http-connect";

bool IsNotFound(const std::string& statusLine) { return statusLine.find("404") != std::string::npos; }

}  // namespace

Utf8ToUnicodeError::Utf8ToUnicodeError() : std::runtime_error("Utf8ToUnicode出错：无效的UTF-8字符串。") {}

IHttpInterface* CreateHttpConnect(const HttpLimits& limits, std::shared_ptr<HttpCancellation> cancel) {
  return new CHttpConnect(limits, std::move(cancel));
}

CHttpConnect::CHttpConnect(const HttpLimits& limits, std::shared_ptr<HttpCancellation> cancel)
    : limits_(limits), cancel_(std::move(cancel)) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

CHttpConnect::~CHttpConnect() { curl_global_cleanup(); }

void CHttpConnect::SetFailed(Failure why) {
  errorText_ = L"发送请求失败，请检查网络";
  lastFailure_ = why;
}

IHttpInterface::Failure CHttpConnect::FailureOf(const HttpTransferResult& result) {
  return result.cancelled ? Failure::kCancelled : Failure::kUnreachable;
}

std::string CHttpConnect::HttpRequestA(const std::string& url, int method, const std::string& body,
                                       std::string headers) {
  return Request(url, method, body, headers, RequestForm{kBrowserAgent, false, DefaultHeaderForm::kHost, true});
}

std::string CHttpConnect::HttpRequestW(const std::wstring& url, int method, const std::wstring& body,
                                       std::wstring headers) {
  return Request(UnicodeToAnsi(url), method, UnicodeToAnsi(body), UnicodeToAnsi(headers),
                 RequestForm{kClientAgent, true, DefaultHeaderForm::kReferer, false});
}

std::string CHttpConnect::Request(const std::string& url, int method, const std::string& body,
                                  const std::string& headers, const RequestForm& form) {
  if (url.empty()) return std::string();
  const std::optional<HttpUrlParts> parts = SplitHttpUrl(url);
  if (!parts) {
    SetFailed(Failure::kUnreachable);
    return std::string();
  }
  HttpTransferRequest request;
  request.url = CurlUrlOf(*parts);
  request.post = method != 1;
  if (request.post) request.body = body;
  request.headers = HttpHeaderLines(headers.empty() ? DefaultHttpHeaders(parts->host, form.defaultHeaders) : headers);
  request.userAgent = form.userAgent;
  request.useSystemProxy = form.useSystemProxy;
  request.overallTimeoutMs = limits_.requestTimeoutMs;
  request.cancel = cancel_.get();

  // Every byte is kept (replies may carry zero bytes), up to the cap: a
  // reply beyond it ends the transfer there instead of taking the memory.
  std::string reply;
  bool tooLarge = false;
  const HttpTransferResult result =
      PerformHttpTransfer(request, limits_, [&](std::string_view piece, const std::string&) {
        if (piece.size() > limits_.maxReplyBytes - reply.size()) {
          tooLarge = true;
          return false;
        }
        reply.append(piece);
        return true;
      });
  if (tooLarge) {
    SetFailed(Failure::kTooLarge);
    return std::string();
  }
  if (!result.completed || IsNotFound(result.statusLine)) {
    // The narrow form has always reported the transport's error code here.
    if (!result.completed && form.printsErrorCode) std::printf("%d", result.curlCode);
    SetFailed(FailureOf(result));
    return std::string();
  }
  Succeeded();
  return reply;
}

bool CHttpConnect::DownloadFileA(const std::string& url, const std::string& path) {
  return DownloadFileW(AnsiToUnicode(url), AnsiToUnicode(path));
}

bool CHttpConnect::DownloadFileW(const std::wstring& url, const std::wstring& path) {
  const std::optional<HttpUrlParts> parts = url.empty() ? std::nullopt : SplitHttpUrl(UnicodeToAnsi(url));
  if (!parts) {
    SetFailed(Failure::kUnreachable);
    return false;
  }
  DownloadTarget target(UnicodeToAnsi(path));
  if (!target.IsOpen()) {
    SetFailed(Failure::kUnreachable);
    return false;
  }
  HttpTransferRequest request;
  request.url = CurlUrlOf(*parts);
  request.headers = HttpHeaderLines(DefaultHttpHeaders(parts->host, DefaultHeaderForm::kReferer));
  request.userAgent = kClientAgent;
  request.useSystemProxy = true;
  request.overallTimeoutMs = limits_.downloadTimeoutMs;
  request.cancel = cancel_.get();

  unsigned long long total = 0;
  const HttpTransferResult result =
      PerformHttpTransfer(request, limits_, [&](std::string_view piece, const std::string& statusLine) {
        if (IsNotFound(statusLine) || !target.Write(piece)) return false;
        total += piece.size();
        const HWND window = notifyWindow_;
        if (window != 0)
          TheProgramEvents().Post(ProgramEvent{window, notifyMessage_, static_cast<uintptr_t>(total), 0, {}});
        return true;
      });
  // An error page must not replace the file, and a reply without
  // Content-Length cannot be checked for completeness.
  if (!result.completed || IsNotFound(result.statusLine) || result.responseCode / 100 != 2 ||
      result.contentLength < 0 ||
      static_cast<unsigned long long>(result.contentLength) != total || !target.Commit()) {
    SetFailed(FailureOf(result));
    return false;
  }
  Succeeded();
  return true;
}

std::wstring CHttpConnect::AnsiToUnicode(const std::string& text) { return MultiByteToWide(text); }

std::string CHttpConnect::UnicodeToAnsi(const std::wstring& text) { return WideToMultiByte(text); }

std::wstring CHttpConnect::Utf8ToUnicode(const std::string& text) {
  std::optional<std::wstring> wide = Utf8ToWideStrict(text);
  if (!wide) throw Utf8ToUnicodeError();
  return std::move(*wide);
}
