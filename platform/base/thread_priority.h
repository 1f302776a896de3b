// Thread priorities as the library names them, mapped onto nice values of the
// calling thread. Real-time scheduling is never used: a time-critical encoder
// must not be able to starve the machine. Raising priority needs privileges;
// a refusal is reported (false), and the thread simply runs at its old value.
#pragma once

namespace platform {

enum class ThreadPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// Nice value used for a priority (TimeCritical -> -10 ... Idle -> 19).
int NiceValueFor(ThreadPriority priority);

// Applies to the calling thread only. False when the system refused.
bool SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace platform
