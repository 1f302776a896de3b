#include "app/HttpTransfer.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

namespace {

struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct TransferState {
  const HttpBodySink* sink = nullptr;
  std::string statusLine;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  std::string_view line(data, size * count);
  // Every reply of the exchange (interim, redirects, final) starts with its
  // status line; the last one seen belongs to the body that follows.
  if (line.substr(0, 5) == "HTTP/") {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    try {
      state->statusLine.assign(line);
    } catch (...) {
      return 0;
    }
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  const size_t length = size * count;
  // Nothing may unwind through libcurl's C frames; a sink that cannot take
  // the piece (out of memory) ends the transfer like a refusal.
  try {
    return (*state->sink)(std::string_view(data, length), state->statusLine) ? length : 0;
  } catch (...) {
    return 0;
  }
}

// The easy handle inside a multi handle for the length of one transfer, so
// the transfer waits in curl_multi_poll, which another thread can wake.
class MultiTransfer {
 public:
  MultiTransfer(CURL* easy, HttpCancellation* cancel) : easy_(easy), cancel_(cancel), multi_(curl_multi_init()) {
    added_ = multi_ != nullptr && curl_multi_add_handle(multi_, easy_) == CURLM_OK;
  }
  ~MultiTransfer() {
    if (cancel_) cancel_->Attach(nullptr);
    if (added_) curl_multi_remove_handle(multi_, easy_);
    if (multi_) curl_multi_cleanup(multi_);
  }
  MultiTransfer(const MultiTransfer&) = delete;
  MultiTransfer& operator=(const MultiTransfer&) = delete;

  // Runs the transfer to its end; *cancelled tells whether Cancel ended it.
  CURLcode Run(bool* cancelled) {
    *cancelled = false;
    if (!added_) return CURLE_OUT_OF_MEMORY;
    if (cancel_ && !cancel_->Attach(multi_)) {
      *cancelled = true;
      return CURLE_ABORTED_BY_CALLBACK;
    }
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi_, &running) != CURLM_OK) return CURLE_FAILED_INIT;
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) return message->data.result;
      }
      if (running == 0) return CURLE_FAILED_INIT;  // ended without a result: not a reply
      if (cancel_ && cancel_->Cancelled()) {
        *cancelled = true;
        return CURLE_ABORTED_BY_CALLBACK;
      }
      // libcurl shortens the wait to its own next time-out.
      if (curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) return CURLE_FAILED_INIT;
    }
  }

 private:
  CURL* easy_;
  HttpCancellation* cancel_;
  CURLM* multi_;
  bool added_ = false;
};

}  // namespace

void HttpCancellation::Cancel() {
  cancelled_ = true;
  std::lock_guard<std::mutex> hold(lock_);
  if (multi_ != nullptr) curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

bool HttpCancellation::Attach(void* multi) {
  std::lock_guard<std::mutex> hold(lock_);
  multi_ = multi;
  return multi == nullptr || !cancelled_.load();
}

HttpTransferResult PerformHttpTransfer(const HttpTransferRequest& request, const HttpLimits& limits,
                                       const HttpBodySink& sink) {
  HttpTransferResult result;
  std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
  if (!easy) {
    result.curlCode = CURLE_FAILED_INIT;
    return result;
  }
  std::unique_ptr<curl_slist, ListCleanup> headers;
  auto addHeader = [&headers](const std::string& line) {
    curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
    if (grown == nullptr) return false;
    headers.release();
    headers.reset(grown);
    return true;
  };
  for (const std::string& line : request.headers) {
    if (!addHeader(line)) {
      result.curlCode = CURLE_OUT_OF_MEMORY;
      return result;
    }
  }
  // The service's old clients never sent "Expect: 100-continue"; some servers
  // answer it slowly or not at all.
  if (!addHeader("Expect:")) {
    result.curlCode = CURLE_OUT_OF_MEMORY;
    return result;
  }

  TransferState state;
  state.sink = &sink;
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
  // Redirects are also held to this list: an http service moving to https
  // must keep working, anything else (file:, ftp:) is refused.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
  if (request.overallTimeoutMs > 0) curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, request.overallTimeoutMs);
#if LIBCURL_VERSION_NUM >= 0x075700
  // A cancelled transfer still resolving a name must not wait for the
  // resolver's thread before it is let go.
  curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
#endif
  if (const char* authorities = std::getenv("SSL_CERT_FILE"); authorities && *authorities)
    curl_easy_setopt(e, CURLOPT_CAINFO, authorities);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_USERAGENT, request.userAgent.c_str());
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  if (!request.useSystemProxy) curl_easy_setopt(e, CURLOPT_PROXY, "");
  if (request.post) {
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
  } else {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  }
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &state);

  MultiTransfer transfer(e, request.cancel);
  const CURLcode code = transfer.Run(&result.cancelled);
  result.curlCode = static_cast<int>(code);
  result.completed = code == CURLE_OK;
  result.statusLine = state.statusLine;
  long status = 0;
  if (curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) result.responseCode = status;
  curl_off_t length = -1;
  if (curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) result.contentLength = length;
  return result;
}
