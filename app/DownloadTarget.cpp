#include "app/DownloadTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {

void CreateMissingFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) mkdir(folder.c_str(), 0777);
  }
}

}  // namespace

DownloadTarget::DownloadTarget(std::string path) : path_(std::move(path)) {
  if (path_.empty()) return;
  CreateMissingFolders(path_);
  static std::atomic<unsigned> serial{0};
  // Beside the target, so the final rename stays within one file system.
  for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
    tempPath_ = path_ + ".part-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    fd_ = open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) tempPath_.clear();
}

DownloadTarget::~DownloadTarget() { Discard(); }

bool DownloadTarget::Write(std::string_view bytes) {
  while (!bytes.empty() && fd_ >= 0) {
    const ssize_t written = write(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return fd_ >= 0;
}

bool DownloadTarget::Commit() {
  if (fd_ < 0) return false;
  const bool synced = fsync(fd_) == 0;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (!synced || !closed || std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    Discard();
    return false;
  }
  tempPath_.clear();
  return true;
}

void DownloadTarget::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!tempPath_.empty()) unlink(tempPath_.c_str());
  tempPath_.clear();
}
