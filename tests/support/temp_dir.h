// A private folder for one test, created under $TMPDIR (or /tmp) and removed
// with everything in it when the object goes away. Set STRIVON_KEEP_TEMP=1 to
// keep the folders of a failing run for inspection.
#pragma once
#include <string>

namespace test_support {

class TempDir {
 public:
  // prefix names the folder ("<prefix>-XXXXXX"); empty path() when creation failed.
  explicit TempDir(const std::string& prefix = "strivon-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string m_path;
};

// Whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Size in bytes, or -1 when the file does not exist.
long long FileSize(const std::string& path);

}  // namespace test_support
