// This process's resident memory as the kernel counts it (/proc/self/status),
// so tests can assert that an input cannot take the program's memory instead
// of assuming it. Linux only.
#pragma once

namespace test_support {

// VmRSS in KiB; -1 when it cannot be read.
long ResidentKb();
// VmHWM (the peak since start or since the last reset) in KiB; -1 when unknown.
long PeakResidentKb();
// Starts a new peak from the current resident size; false when the kernel
// does not offer it.
bool ResetPeakResident();

}  // namespace test_support
