#include "common/Log.h"

#include <sys/stat.h>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/base/module_path.h"

namespace {

// One lock for the stream: the first open, every line and the rotation, so
// that no line goes to a file that is being moved aside.
std::mutex g_logMutex;
FILE* g_stream = nullptr;
std::string g_streamPath;
size_t g_streamBytes = 0;  // size of the current file
std::string g_moduleOverride;

// A cut at n that does not split a UTF-8 sequence.
size_t CharBoundary(const std::string& text, size_t n) {
  size_t cut = n;
  while (cut > 0 && n - cut < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

std::string RotatedName(const std::string& path, int index) { return path + "." + std::to_string(index); }

size_t FileSize(FILE* stream) {
  struct stat info {};
  return fstat(fileno(stream), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
}

void OpenLocked() {
  if (g_stream != nullptr) return;
  const std::string module = g_moduleOverride.empty() ? platform::OwnModulePath() : g_moduleOverride;
  if (module.empty()) return;
  std::string full;
  FormatString(&full, "%s%s.log", module.c_str(), LogTimeStamp().c_str());
  const auto slash = full.rfind('/');
  const std::string folder = (slash == std::string::npos ? std::string() : full.substr(0, slash + 1)) + "RtmpLog/";
  const std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
  ::mkdir(folder.c_str(), 0777);  // an existing folder is fine; a failure shows at the open
  const std::string path = folder + name;
  g_stream = std::fopen(path.c_str(), "a+");
  if (g_stream == nullptr) {
    std::printf("can't open log file %s", path.c_str());
    std::fflush(stdout);
    return;
  }
  g_streamPath = path;
  g_streamBytes = FileSize(g_stream);
}

// Moves the full file aside under its numbered name and starts the file of
// the same name again.
void RotateLocked() {
  std::fclose(g_stream);
  g_stream = nullptr;
  for (int i = kLogKeptFiles - 1; i >= 1; --i)
    std::rename(RotatedName(g_streamPath, i).c_str(), RotatedName(g_streamPath, i + 1).c_str());
  std::rename(g_streamPath.c_str(), RotatedName(g_streamPath, 1).c_str());
  g_stream = std::fopen(g_streamPath.c_str(), "a+");
  g_streamBytes = 0;
  if (g_stream == nullptr) {
    // The next line opens a file with a new time stamp, as after any failed open.
    std::printf("can't open log file %s", g_streamPath.c_str());
    std::fflush(stdout);
    g_streamPath.clear();
  }
}

}  // namespace

const char* FormatString(std::string* out, const char* format, ...) {
  out->assign(512, '\0');
  for (;;) {
    va_list args;
    va_start(args, format);
    // A fresh copy of the arguments for every attempt: a consumed va_list
    // cannot be reused.
    const int n = std::vsnprintf(out->data(), out->size(), format, args);
    va_end(args);
    if (n < 0) {  // encoding error: nothing sensible to show
      out->clear();
      return out->c_str();
    }
    if (static_cast<size_t>(n) < out->size()) {
      out->resize(static_cast<size_t>(n));
      return out->c_str();
    }
    out->assign(out->size() * 2 > static_cast<size_t>(n) ? out->size() * 2 : static_cast<size_t>(n) + 1, '\0');
  }
}

std::string LogTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) return {};
  std::string text;
  FormatString(&text, "[%04d-%02d-%02d-%02d-%02d-%02d] ", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
               local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string LogExcerpt(const std::string& peerText) {
  if (peerText.size() <= kLogExcerptBytes) return peerText;
  std::string excerpt = peerText.substr(0, CharBoundary(peerText, kLogExcerptBytes));
  excerpt += "...(" + std::to_string(peerText.size()) + " bytes)";
  return excerpt;
}

void OpenLogFile() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  OpenLocked();
}

void WriteLog(const char* level, const char* sourceFile, int line, const char* function, const char* message) {
  std::string text;
  FormatString(&text, "%s%s %s %d %s: %s\n", LogTimeStamp().c_str(), level ? level : "", sourceFile ? sourceFile : "",
               line, function ? function : "", message ? message : "");
  if (text.size() > kLogMaxLineBytes) {
    static const char kCut[] = "...(line cut)\n";
    text.resize(CharBoundary(text, kLogMaxLineBytes - (sizeof kCut - 1)));
    text += kCut;
  }
  std::lock_guard<std::mutex> lock(g_logMutex);
  OpenLocked();
  if (g_stream == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), g_stream);
  std::fflush(g_stream);
  g_streamBytes += text.size();
  if (g_streamBytes >= kLogRotateBytes) RotateLocked();
}

namespace log_testing {

void ResetLog(const std::string& modulePath) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  if (g_stream != nullptr) std::fclose(g_stream);
  g_stream = nullptr;
  g_streamPath.clear();
  g_streamBytes = 0;
  g_moduleOverride = modulePath;
}

std::string CurrentLogPath() {
  std::lock_guard<std::mutex> lock(g_logMutex);
  return g_streamPath;
}

}  // namespace log_testing
