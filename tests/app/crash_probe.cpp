// A program that installs the crash handler and then crashes on purpose, run
// by crash_handler_test from a copy in a folder of the test's choosing.
//   crash_probe <segv|abort|overflow|previous> <uploader path> <info text> [file size limit]
// Prints the program's base name first. In "previous" mode a handler installed
// before the crash handler reports the signal and whether the dump was there
// when it ran, then exits with 7.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "app/CrashHandler.h"

namespace {

char g_dumpPath[4096];

void PreviousHandler(int signalNumber, siginfo_t*, void*) {
  char line[64];
  const bool dumpPresent = ::access(g_dumpPath, F_OK) == 0;
  const int length = std::snprintf(line, sizeof(line), "previous %d %s\n", signalNumber,
                                   dumpPresent ? "dump-present" : "dump-missing");
  (void)!::write(1, line, static_cast<size_t>(length));
  ::_exit(7);
}

volatile int g_keepGoing = 1;

extern "C" __attribute__((noinline)) int RecurseWithoutEnd(int depth) {
  volatile char pad[512];
  pad[depth % sizeof(pad)] = static_cast<char>(depth);
  if (!g_keepGoing) return pad[0];
  return RecurseWithoutEnd(depth + 1) + pad[depth % sizeof(pad)];
}

}  // namespace

__attribute__((noinline)) void CrashInNamedFunction(volatile int* target) {
  *target = 42;
  asm volatile("" ::: "memory");
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[1];
  // Start from the default actions (a sanitizer runtime may have installed
  // its own), so "no previous handler" means just that.
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, SIG_DFL);
  std::snprintf(g_dumpPath, sizeof(g_dumpPath), "%s", DumpPathForProgram(ReadProgramPath()).c_str());
  if (mode == "previous") {
    struct sigaction previous {};
    previous.sa_sigaction = PreviousHandler;
    previous.sa_flags = SA_SIGINFO;
    sigemptyset(&previous.sa_mask);
    sigaction(SIGSEGV, &previous, nullptr);
  }
  if (argc > 4) {
    // A full disk while the dump is written.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlim_t limit = std::strtoull(argv[4], nullptr, 10);
    const struct rlimit fileSize = {limit, limit};
    setrlimit(RLIMIT_FSIZE, &fileSize);
  }
  if (!InstallCrashHandler(argv[2], argv[3])) return 3;
  std::printf("base %s\n", GetExeBaseName().c_str());
  std::fflush(stdout);

  if (mode == "abort") std::abort();
  if (mode == "overflow") return RecurseWithoutEnd(0);
  CrashInNamedFunction(nullptr);
  return 4;
}
