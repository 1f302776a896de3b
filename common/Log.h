// The library's log writer: one append-only file per process in the folder
// "RtmpLog" beside the library file, every line flushed. Every component logs
// through WriteLog (usually via STRIVON_LOG) with one of the four level words.
#pragma once
#include <string>

inline constexpr const char* kLogInfo = "_INFO_";
inline constexpr const char* kLogDebug = "_DEBUG_";
inline constexpr const char* kLogWarning = "_WARNING_";
inline constexpr const char* kLogFatal = "_FATAL_";

// Writes "<time stamp><level> <file> <line> <function>: <message>\n". The
// message is written verbatim ("%" stays "%").
void WriteLog(const char* level, const char* sourceFile, int line, const char* function, const char* message);

// printf-style formatting into *out (grown as needed); returns out->c_str().
const char* FormatString(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Opens the log file unless it is open; retried by every WriteLog until it works.
void OpenLogFile();

// "[YYYY-MM-DD-hh-mm-ss] " in local time, or "" when the time is unavailable.
std::string LogTimeStamp();

namespace log_testing {
// Closes the log and makes the next open use modulePath instead of the
// library's own path ("" restores the real one). Tests only.
void ResetLog(const std::string& modulePath);
// Full path of the open log file, or "" while none is open.
std::string CurrentLogPath();
}  // namespace log_testing

// STRIVON_LOG(kLogInfo, "CRtmp::Connect", "connect to %s", host) formats and writes one line.
#define STRIVON_LOG(level, function, ...)                                      \
  do {                                                                         \
    std::string strivon_log_text_;                                             \
    WriteLog((level), __FILE__, __LINE__, (function),                          \
             FormatString(&strivon_log_text_, __VA_ARGS__));                   \
  } while (0)
