// The crash dump's contents, written from inside the crash signal handler:
// the signal, the fault address, the registers of the interrupted thread, a
// backtrace with function names and a copy of the process's memory map. Plain
// text, so a developer can read it without tools. Async-signal-safe: only
// write/read/open/close and libunwind's local unwinding.
#pragma once
#include <signal.h>

// Writes the dump for the signal described by info and context (the handler's
// third argument) to fd. False when any part could not be written.
bool WriteCrashDump(int fd, const char* programPath, const char* pidText, int signalNumber,
                    const siginfo_t* info, const void* context);
