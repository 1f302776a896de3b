#include "app/FileAccess.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The rename itself lives in the folder's entry list, which needs its own flush.
void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string TimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32] = "0";
  if (::localtime_r(&now, &local)) std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// rename() that never replaces what is at the target.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  // File systems without the flag: the name was checked free just before.
  return errno == EINVAL && !PathExists(to) && ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

ReadFileResult ReadRegularFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  // O_NONBLOCK: a pipe put in place of a settings file must not hang the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadFileResult::kMissing : ReadFileResult::kFailed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadFileResult::kFailed;
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxSettingsFileBytes) {
    ::close(fd);
    return ReadFileResult::kTooLarge;
  }
  std::vector<char> chunk(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      bytes->clear();
      return ReadFileResult::kFailed;
    }
    if (n == 0) break;
    bytes->append(chunk.data(), static_cast<size_t>(n));
    if (bytes->size() > kMaxSettingsFileBytes) {  // grew while we read it
      ::close(fd);
      bytes->clear();
      return ReadFileResult::kTooLarge;
    }
  }
  ::close(fd);
  return ReadFileResult::kRead;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return false;
  // Hidden and short enough that a name near the length limit still gets a temporary.
  std::string pattern = folder + "/." + base.substr(0, 200) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(name.data(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(name.data());
    return false;
  }
  SyncFolder(folder);
  return true;
}

std::string SetFileAside(const std::string& path) {
  const std::string base = path + ".bad-" + TimeStamp();
  std::string target = base;
  for (int n = 2; n < 1000 && PathExists(target); ++n) target = base + "-" + std::to_string(n);
  return RenameNoReplace(path, target) ? target : std::string();
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

bool MakeDirectories(const std::string& path, mode_t mode) {
  if (path.empty()) return false;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    const std::string level = path.substr(0, pos);
    if (level.empty() || level.back() == '/') continue;  // repeated slashes
    if (PathExists(level)) continue;
    if (::mkdir(level.c_str(), mode) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(path);
}
