#include "tests/support/process_memory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace test_support {

namespace {

long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

}  // namespace

long ResidentKb() { return StatusKb("VmRSS"); }

long PeakResidentKb() { return StatusKb("VmHWM"); }

bool ResetPeakResident() {
  // "5" resets the peak resident size (Linux 4.0 and later).
  std::ofstream refs("/proc/self/clear_refs");
  refs << "5";
  refs.flush();
  return static_cast<bool>(refs);
}

uintmax_t FolderBytes(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  uintmax_t total = 0;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) total += it->file_size(error);
  }
  return total;
}

}  // namespace test_support
