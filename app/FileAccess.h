// File-system steps shared by the program's settings files (user_config.xml,
// the INI files) and its folders: whole-file reads with a size ceiling, writes
// that replace a file atomically, and folder creation level by level.
#pragma once
#include <string>
#include <string_view>
#include <sys/types.h>

// Files larger than this are never settings of ours (the program's own are a
// few kilobytes); reading one is refused, so a damaged or hostile file can
// neither take the program's memory nor freeze it while it is parsed.
constexpr size_t kMaxSettingsFileBytes = 1u << 20;

enum class ReadFileResult { kRead, kMissing, kTooLarge, kFailed };

// Reads a regular file whole. kMissing when nothing exists at the path;
// kTooLarge for a regular file above kMaxSettingsFileBytes; kFailed for
// anything else that is not a readable regular file (a folder, a pipe, no
// permission).
ReadFileResult ReadRegularFile(const std::string& path, std::string* bytes);

// Writes bytes to a temporary file beside path, flushes it to disk and renames
// it over path, so a crash or a full disk leaves either the old or the new
// file whole. The file gets exactly the given permissions. False when any
// step failed; the old file is then untouched.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode);

// Creates every missing level of a folder path; stops at the first level that
// cannot be created. True when the whole path is a folder afterwards.
bool MakeDirectories(const std::string& path, mode_t mode = 0755);

// Renames what is at path to "<path>.bad-<YYYYMMDD-hhmmss>" (with "-2",
// "-3"... when that name is taken), never replacing anything. The new name,
// or "" when it could not be moved. For settings files that failed to load:
// they are kept for a look, and a fresh file takes their place.
std::string SetFileAside(const std::string& path);

bool IsDirectory(const std::string& path);
bool PathExists(const std::string& path);
