#include "common/Log.h"

#include <sys/stat.h>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/base/module_path.h"

namespace {

// The stream is process-wide and never closed; the mutex only guards the
// first open (and the test hooks), not the writes: each line is one fwrite,
// which the C library locks per call.
std::mutex g_openMutex;
FILE* g_stream = nullptr;
std::string g_streamPath;
std::string g_moduleOverride;

FILE* Stream() {
  std::lock_guard<std::mutex> lock(g_openMutex);
  return g_stream;
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

void OpenLogFile() {
  std::lock_guard<std::mutex> lock(g_openMutex);
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
}

void WriteLog(const char* level, const char* sourceFile, int line, const char* function, const char* message) {
  OpenLogFile();
  FILE* stream = Stream();
  if (stream == nullptr) return;
  std::string text;
  FormatString(&text, "%s%s %s %d %s: %s\n", LogTimeStamp().c_str(), level ? level : "", sourceFile ? sourceFile : "",
               line, function ? function : "", message ? message : "");
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

namespace log_testing {

void ResetLog(const std::string& modulePath) {
  std::lock_guard<std::mutex> lock(g_openMutex);
  if (g_stream != nullptr) std::fclose(g_stream);
  g_stream = nullptr;
  g_streamPath.clear();
  g_moduleOverride = modulePath;
}

std::string CurrentLogPath() {
  std::lock_guard<std::mutex> lock(g_openMutex);
  return g_streamPath;
}

}  // namespace log_testing
