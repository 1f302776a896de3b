// File-system steps shared by the program's settings files (user_config.xml,
// the INI files) and its folders: whole-file reads with a size ceiling, writes
// that replace a file atomically, and folder creation level by level.
#pragma once
#include <string>
#include <string_view>
#include <sys/types.h>

// Files larger than this are never settings of ours; reading one is refused.
constexpr size_t kMaxSettingsFileBytes = 64u << 20;

enum class ReadFileResult { kRead, kMissing, kFailed };

// Reads a regular file whole. kMissing when nothing exists at the path;
// kFailed for anything else that is not a readable regular file of at most
// kMaxSettingsFileBytes (a folder, a pipe, no permission, too large).
ReadFileResult ReadRegularFile(const std::string& path, std::string* bytes);

// Writes bytes to a temporary file beside path, flushes it to disk and renames
// it over path, so a crash or a full disk leaves either the old or the new
// file whole. The file gets exactly the given permissions. False when any
// step failed; the old file is then untouched.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode);

// Creates every missing level of a folder path; stops at the first level that
// cannot be created. True when the whole path is a folder afterwards.
bool MakeDirectories(const std::string& path, mode_t mode = 0755);

bool IsDirectory(const std::string& path);
bool PathExists(const std::string& path);
