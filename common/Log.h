// The library's log writer: one append-only file per process in the folder
// "RtmpLog" beside the library file, every line flushed. Every component logs
// through WriteLog (usually via STRIVON_LOG) with one of the four level words.
// The log is bounded whatever is written to it: a line is cut at
// kLogMaxLineBytes, and a file that passes kLogRotateBytes moves aside as
// "<name>.1" (older ones to ".2" ... ".<kLogKeptFiles>", the oldest dropped)
// while the next line starts the file of the same name afresh.
#pragma once
#include <cstddef>
#include <string>

inline constexpr const char* kLogInfo = "_INFO_";
inline constexpr const char* kLogDebug = "_DEBUG_";
inline constexpr const char* kLogWarning = "_WARNING_";
inline constexpr const char* kLogFatal = "_FATAL_";

inline constexpr size_t kLogRotateBytes = 8u << 20;
inline constexpr int kLogKeptFiles = 3;
inline constexpr size_t kLogMaxLineBytes = 64u << 10;
// How much of a text that came from a peer (a server's reply, a status word,
// a command) a log line carries.
inline constexpr size_t kLogExcerptBytes = 256;

// Writes "<time stamp><level> <file> <line> <function>: <message>\n". The
// message is written verbatim ("%" stays "%").
void WriteLog(const char* level, const char* sourceFile, int line, const char* function, const char* message);

// printf-style formatting into *out (grown as needed); returns out->c_str().
const char* FormatString(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Opens the log file unless it is open; retried by every WriteLog until it works.
void OpenLogFile();

// "[YYYY-MM-DD-hh-mm-ss] " in local time, or "" when the time is unavailable.
std::string LogTimeStamp();

// The first kLogExcerptBytes of a peer's text, with "...(<n> bytes)" after it
// when there was more; shorter texts come back unchanged.
std::string LogExcerpt(const std::string& peerText);

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
