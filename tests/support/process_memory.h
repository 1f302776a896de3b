// What the test process costs the machine, as the kernel counts it: resident
// memory from /proc/self/status and the bytes a folder holds. For tests that
// bound what a hostile input may cost instead of assuming it.
#pragma once
#include <cstdint>
#include <string>

namespace test_support {

// Resident size (VmRSS) in KiB; -1 when it cannot be read.
long ResidentKb();
// Peak resident size (VmHWM) in KiB; -1 when it cannot be read.
long PeakResidentKb();
// Starts the peak afresh from the current resident size; false when the
// kernel does not allow it (then the peak covers the whole run so far).
bool ResetPeakResident();
// Bytes of all regular files in the folder and below; 0 for none.
uintmax_t FolderBytes(const std::string& folder);

}  // namespace test_support
