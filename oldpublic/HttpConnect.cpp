#include "oldpublic/HttpConnect.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "common/Log.h"
#include "oldpublic/ServerPath.h"
#include "schedule/IWinsockEx.h"

namespace {

constexpr long kTransferLimitMs = 10000;
constexpr int kLongestWaitMs = 1000;
constexpr int kResolveTimeoutMs = 5000;
constexpr int kNoResult = 4;

// libcurl stays initialised while any client exists.
std::mutex g_curlLock;
int g_curlUsers = 0;

void AcquireCurl() {
  std::lock_guard<std::mutex> lock(g_curlLock);
  if (g_curlUsers++ == 0) curl_global_init(CURL_GLOBAL_ALL);
}

void ReleaseCurl() {
  std::lock_guard<std::mutex> lock(g_curlLock);
  if (--g_curlUsers == 0) curl_global_cleanup();
}

struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct EasyDeleter {
  void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

size_t WriteMemoryCallback(char* data, size_t size, size_t count, void* user) {
  auto* received = static_cast<CappedBody*>(user);
  const size_t bytes = size * count;
  try {
    // Zero ends the transfer: a body over the cap is a failed request.
    if (!received->Append(data, bytes)) return 0;
  } catch (const std::bad_alloc&) {
    STRIVON_LOG(kLogWarning, "WriteMemoryCallback", "not enough memory (realloc returned NULL)\n");
    return 0;  // aborts the transfer
  }
  return bytes;
}

// Drives the transfer until it ends; the result of its completion message,
// or kNoResult.
int MultiPerform(CURLM* multi) {
  int running = 0;
  if (curl_multi_perform(multi, &running) != CURLM_OK) return kNoResult;
  while (running > 0) {
    int ready = 0;
    // Bounded by curl's own time-out when that is shorter.
    if (curl_multi_poll(multi, nullptr, 0, kLongestWaitMs, &ready) != CURLM_OK) {
      STRIVON_LOG(kLogWarning, "HttpConnect::MultiPerformThreadProc", "select error.");
      return kNoResult;
    }
    if (curl_multi_perform(multi, &running) != CURLM_OK) return kNoResult;
  }
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE) return message->data.result;
  }
  return kNoResult;
}

bool IsDottedText(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c != '.' && (c < '0' || c > '9')) return false;
  return true;
}

std::string EncodeBlanks(const std::string& url) {
  std::string out;
  for (char c : url) {
    if (c == ' ')
      out += "%20";
    else
      out += c;
  }
  return out;
}

const char* ResultText(int code) { return curl_easy_strerror(static_cast<CURLcode>(code)); }

}  // namespace

IHttpConnect* CreateHttpConnect() { return new (std::nothrow) HttpConnect(); }

HttpConnect::HttpConnect() { AcquireCurl(); }

HttpConnect::~HttpConnect() { ReleaseCurl(); }

void HttpConnect::Transfer(const std::string& requestUrl) {
  m_received.Clear();
  m_result = kNoResult;
  MultiHandle multi(curl_multi_init());
  EasyHandle easy(curl_easy_init());
  if (!multi || !easy) return;
  curl_easy_setopt(easy.get(), CURLOPT_URL, requestUrl.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, kTransferLimitMs);
  // A body announced as too long is refused before any of it arrives.
  curl_easy_setopt(easy.get(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxHttpReplyBytes));
  // Signals cannot time out one thread's transfer in a threaded library.
  curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &WriteMemoryCallback);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &m_received);
  curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, "libcurl-agent/1.0");
  if (curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK) return;
  int result = kNoResult;
  try {
    std::thread transfer([&] { result = MultiPerform(multi.get()); });
    transfer.join();
  } catch (const std::system_error&) {
    result = kNoResult;
  }
  m_result = result;
  curl_multi_remove_handle(multi.get(), easy.get());
}

bool HttpConnect::StartConnect(const std::string& url, std::string* body) {
  m_url = url;
  ServerPath parts;
  if (!PraseServerPath(url, &parts)) {
    STRIVON_LOG(kLogInfo, "HttpConnect::StartConnect", "PraseServerPath : didn't get hostname");
    return false;
  }
  std::string path = parts.path;
  if (!parts.query.empty()) path += "?" + parts.query;
  Transfer(EncodeBlanks("http://" + parts.host + ":" + parts.port + path));
  if (m_result != CURLE_OK) {
    STRIVON_LOG(kLogInfo, "HttpConnect::StartConnect", "curl_easy_perform() failed: %s\n", ResultText(m_result));
    // The server answered; asking it again by address gets the same answer.
    const bool refusedBody = m_result == CURLE_FILESIZE_EXCEEDED || m_received.overCap();
    if (refusedBody) {
      STRIVON_LOG(kLogInfo, "HttpConnect::StartConnect", "reply over %zu bytes refused", kMaxHttpReplyBytes);
    }
    m_received.Clear();
    if (refusedBody || IsDottedText(parts.host)) return false;
    IWinsockEx* resolver = CreateWinsockEx();
    if (resolver) {
      if (hostent* host = resolver->GetHostByName(parts.host.c_str(), kResolveTimeoutMs)) {
        char address[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, host->h_addr_list[0], address, sizeof address))
          Transfer(EncodeBlanks("http://" + std::string(address) + ":" + parts.port + path));
      }
      resolver->Release();
    }
    if (m_result != CURLE_OK) {
      STRIVON_LOG(kLogInfo, "HttpConnect::StartConnect", "curl_easy_perform() failed again: %s\n",
                  ResultText(m_result));
      m_received.Clear();
      return false;
    }
  }
  if (body) *body = m_received.bytes();
  m_received.Clear();
  return true;
}
