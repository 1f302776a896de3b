// Installs the crash handler and crashes on purpose; crash_handler_test runs
// copies of it from folders of its own.
//   crash_probe <segv|abort|overflow|previous> <uploader path> <info text> [file size limit]
//   crash_probe program <program folder> <account>
// "previous" installs a SIGSEGV handler first that reports the signal and
// whether the dump was already there, then exits with 7. "program" installs
// the handler as the program does, for the given program folder, and faults.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "app/CrashHandler.h"
#include "app/ProgramCrashReport.h"
#include "app/ProgramFolder.h"

namespace {

char g_dumpPath[4096];
volatile int g_keepGoing = 1;

void PreviousHandler(int signalNumber, siginfo_t*, void*) {
  char line[64];
  const int length = std::snprintf(line, sizeof(line), "previous %d %s\n", signalNumber,
                                   ::access(g_dumpPath, F_OK) == 0 ? "dump-present" : "dump-missing");
  (void)!::write(1, line, static_cast<size_t>(length));
  ::_exit(7);
}

extern "C" __attribute__((noinline)) int RecurseWithoutEnd(int depth) {
  volatile char pad[512];
  pad[depth % sizeof(pad)] = static_cast<char>(depth);
  return g_keepGoing ? RecurseWithoutEnd(depth + 1) + pad[depth % sizeof(pad)] : 0;
}

}  // namespace

__attribute__((noinline)) void CrashInNamedFunction(volatile int* target) {
  *target = 42;
  asm volatile("" ::: "memory");
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[1];
  // A sanitizer runtime may have installed handlers; start from the defaults.
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, SIG_DFL);
  std::snprintf(g_dumpPath, sizeof(g_dumpPath), "%s", DumpPathForProgram(ReadProgramPath()).c_str());
  if (mode == "previous") {
    struct sigaction previous {};
    previous.sa_sigaction = PreviousHandler;
    previous.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &previous, nullptr);
  }
  if (argc > 4) {  // a disk that fills up while the dump is written
    std::signal(SIGXFSZ, SIG_IGN);
    const rlim_t limit = std::strtoull(argv[4], nullptr, 10);
    const struct rlimit fileSize = {limit, limit};
    setrlimit(RLIMIT_FSIZE, &fileSize);
  }
  if (mode == "program") {
    SetProgramFolderForTesting(argv[2]);
    if (!InstallProgramCrashHandler(argv[3], "640*480")) return 3;
  } else if (!InstallCrashHandler(argv[2], argv[3])) {
    return 3;
  }
  std::printf("base %s\n", GetExeBaseName().c_str());
  std::fflush(stdout);
  if (mode == "abort") std::abort();
  if (mode == "overflow") return RecurseWithoutEnd(0);
  // Not null: the undefined-behaviour sanitizer stops a null store before it faults.
  volatile uintptr_t unmapped = 8;
  CrashInNamedFunction(reinterpret_cast<volatile int*>(unmapped));
  return 4;
}
