// The file a download writes. Bytes go to a temporary file beside the target,
// which replaces the target only once the caller commits, so an interrupted
// or short download never leaves a partial file nor damages an older one.
#pragma once
#include <string>
#include <string_view>

class DownloadTarget {
 public:
  // Creates the target's missing folders and the temporary file.
  explicit DownloadTarget(std::string path);
  // Removes the temporary file unless Commit succeeded.
  ~DownloadTarget();
  DownloadTarget(const DownloadTarget&) = delete;
  DownloadTarget& operator=(const DownloadTarget&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  bool Write(std::string_view bytes);
  // Flushes the bytes to disk and renames the temporary file over the target.
  bool Commit();

 private:
  void Discard();

  std::string path_;
  std::string tempPath_;
  int fd_ = -1;
};
