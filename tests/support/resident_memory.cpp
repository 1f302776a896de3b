#include "tests/support/resident_memory.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace test_support {

namespace {

long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return -1;
}

}  // namespace

long ResidentKb() { return StatusKb("VmRSS"); }

long PeakResidentKb() { return StatusKb("VmHWM"); }

bool ResetPeakResident() {
  // "5" resets the peak resident size (Linux 4.0 and later).
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

}  // namespace test_support
