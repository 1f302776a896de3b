#include "app/CrashHandler.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/CrashDumpWriter.h"
#include "app/SignalSafeText.h"

extern char** environ;

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kSignalCount = sizeof(kCrashSignals) / sizeof(kCrashSignals[0]);
constexpr size_t kInfoTextCapacity = 1024;
// Room for the handler, libunwind's cursor and the file-reading buffers.
constexpr size_t kAltStackSize = 256 * 1024;

// Everything the handler reads. Filled once before the handler is installed
// and never changed afterwards, so the handler reads it without locks.
struct CrashState {
  char uploaderPath[PATH_MAX];
  char infoText[kInfoTextCapacity];
  char programPath[PATH_MAX];
  char dumpPath[PATH_MAX];
  // dumpPath + "." at install; the pid and ".tmp" are appended in the crash,
  // so two crashing instances of the program never share a temporary file.
  char tempPath[PATH_MAX + 32];
  size_t tempPrefixLength;
  char version[32];
  char pidText[24];
  char* uploaderArgv[12];  // ends with a null pointer
  struct sigaction previous[kSignalCount];
};

CrashState g_state;
std::mutex g_installLock;
bool g_installed = false;
// The thread writing the dump (0: none yet), and whether it has finished.
std::atomic<pid_t> g_dumpingThread{0};
std::atomic<bool> g_dumpFinished{false};

bool CopyText(char* target, size_t capacity, const std::string& text) {
  if (text.size() >= capacity) return false;
  std::memcpy(target, text.c_str(), text.size() + 1);
  return true;
}

// Cuts at most to capacity - 1 bytes without splitting a UTF-8 sequence.
void CopyCutText(char* target, size_t capacity, const char* text) {
  size_t length = std::strlen(text);
  if (length >= capacity) {
    length = capacity - 1;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(target, text, length);
  target[length] = '\0';
}

bool PrepareAlternateStack() {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
      current.ss_size >= kAltStackSize)
    return true;
  // Lives as long as the process; the handler may run at any time.
  void* memory = ::mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return false;
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = kAltStackSize;
  if (::sigaltstack(&stack, nullptr) == 0) return true;
  ::munmap(memory, kAltStackSize);
  return false;
}

bool WriteDumpToTemporaryFile(int signalNumber, const siginfo_t* info, const void* context) {
  const int fd = ::open(g_state.tempPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool complete = WriteCrashDump(fd, g_state.programPath, g_state.pidText, signalNumber, info, context);
  // The process is about to die; make sure the uploader finds the whole dump.
  complete = ::fsync(fd) == 0 && complete;
  complete = ::close(fd) == 0 && complete;
  return complete;
}

void CloseInheritedFiles() {
  if (::close_range(3, ~0U, 0) == 0) return;
  // Kernels before 5.9; sysconf and getrlimit are not signal-safe, so a bound.
  for (int fd = 3; fd < 65536; ++fd) ::close(fd);
}

// Starts the uploader detached (as a grandchild that init adopts), so the
// crashing process neither waits for it nor leaves a zombie behind. _Fork, not
// fork: fork runs atfork handlers and takes locks the crashed thread may hold.
void StartUploader() {
  const pid_t child = ::_Fork();
  if (child == 0) {
    if (::_Fork() != 0) ::_exit(0);
    ::setsid();
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // The program's sockets and files are not the uploader's business; the
    // standard streams stay so its messages land where the program's did.
    CloseInheritedFiles();
    ::execve(g_state.uploaderPath, g_state.uploaderArgv, environ);
    ::_exit(127);
  }
  if (child < 0) return;
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

void WriteDumpAndStartUploader(int signalNumber, const siginfo_t* info, const void* context) {
  FormatUnsignedSignalSafe(static_cast<uint64_t>(::getpid()), 10, g_state.pidText, sizeof(g_state.pidText));
  char* end = g_state.tempPath + g_state.tempPrefixLength;
  const size_t pidLength = TextLengthSignalSafe(g_state.pidText);
  std::memcpy(end, g_state.pidText, pidLength);
  std::memcpy(end + pidLength, ".tmp", 5);

  const bool dumpReady = WriteDumpToTemporaryFile(signalNumber, info, context) &&
                         ::rename(g_state.tempPath, g_state.dumpPath) == 0;
  if (!dumpReady) {
    ::unlink(g_state.tempPath);
    // An earlier crash's dump must not be sent as this one's; when it cannot
    // be removed, nothing is sent at all.
    if (::unlink(g_state.dumpPath) != 0 && errno != ENOENT) return;
  }
  if (g_state.uploaderPath[0] != '\0') StartUploader();
}

size_t SignalIndex(int signalNumber) {
  for (size_t i = 0; i < kSignalCount; ++i)
    if (kCrashSignals[i] == signalNumber) return i;
  return 0;
}

void DieFromSignal(int signalNumber) {
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  ::sigemptyset(&defaultAction.sa_mask);
  ::sigaction(signalNumber, &defaultAction, nullptr);
  ::raise(signalNumber);
  // The signal is blocked while its handler runs; unblocking delivers it.
  sigset_t only;
  ::sigemptyset(&only);
  ::sigaddset(&only, signalNumber);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
}

// The previous disposition is put back first, so that whatever the previous
// handler does next (return and fault again, abort) reaches it, not us.
void HandOn(int signalNumber, siginfo_t* info, void* context) {
  const struct sigaction& previous = g_state.previous[SignalIndex(signalNumber)];
  if (previous.sa_flags & SA_SIGINFO) {
    if (previous.sa_sigaction != nullptr) {
      ::sigaction(signalNumber, &previous, nullptr);
      previous.sa_sigaction(signalNumber, info, context);
      return;
    }
  } else if (previous.sa_handler == SIG_IGN) {
    // Ignoring a fault the hardware raised would re-run the faulting
    // instruction for ever; only a signal sent by a process can be ignored.
    if (info != nullptr && info->si_code <= 0) {
      ::sigaction(signalNumber, &previous, nullptr);
      return;
    }
  } else if (previous.sa_handler != SIG_DFL) {
    ::sigaction(signalNumber, &previous, nullptr);
    previous.sa_handler(signalNumber);
    return;
  }
  DieFromSignal(signalNumber);
}

void CrashSignalHandler(int signalNumber, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  const pid_t self = ::gettid();
  pid_t dumping = 0;
  if (g_dumpingThread.compare_exchange_strong(dumping, self)) {
    WriteDumpAndStartUploader(signalNumber, info, context);
    g_dumpFinished.store(true);
  } else if (dumping != self) {
    // Another thread crashed first: let its dump finish before this signal
    // may end the process.
    const timespec pause{0, 1000000};
    while (!g_dumpFinished.load()) ::nanosleep(&pause, nullptr);
  }
  // dumping == self: a fault inside the dump writer; hand on without a dump.
  HandOn(signalNumber, info, context);
  errno = savedErrno;
}

bool PrepareState(const char* uploaderPath, const char* infoText, const char* dumpPathGiven) {
  CrashState& state = g_state;
  if (!CopyText(state.uploaderPath, sizeof(state.uploaderPath), uploaderPath ? uploaderPath : "")) {
    std::printf("(%d): uploader path too long\n", __LINE__);
    return false;
  }
  CopyCutText(state.infoText, sizeof(state.infoText), infoText ? infoText : "");
  const std::string programPath = ReadProgramPath();
  const std::string dumpPath = dumpPathGiven ? std::string(dumpPathGiven) : DumpPathForProgram(programPath);
  if (programPath.empty() || dumpPath.empty() || !CopyText(state.programPath, sizeof(state.programPath), programPath) ||
      !CopyText(state.dumpPath, sizeof(state.dumpPath), dumpPath) ||
      !CopyText(state.tempPath, sizeof(state.tempPath) - 32, dumpPath + ".")) {
    std::printf("(%d): can't get filename\n", __LINE__);
    return false;
  }
  state.tempPrefixLength = dumpPath.size() + 1;

  uint16_t major = 0, minor = 0, third = 0, fourth = 0;
  GetModuleVersion(&major, &minor, &third, &fourth);
  std::snprintf(state.version, sizeof(state.version), "%u.%u.%u.%u", major, minor, third, fourth);
  state.pidText[0] = '\0';

  // Separate arguments, never a shell line: the information text's quotes and
  // line breaks reach the uploader as they are.
  static char flagDump[] = "-f", flagProgram[] = "-t", flagVersion[] = "-v", flagInfo[] = "-a", flagPid[] = "-pid";
  char* argv[] = {state.uploaderPath, flagDump,      state.dumpPath, flagProgram, state.programPath, flagVersion,
                  state.version,      flagInfo,      state.infoText, flagPid,     state.pidText};
  constexpr size_t kArgCount = sizeof(argv) / sizeof(argv[0]);
  static_assert(kArgCount + 1 == sizeof(state.uploaderArgv) / sizeof(state.uploaderArgv[0]));
  for (size_t i = 0; i < kArgCount; ++i) state.uploaderArgv[i] = argv[i];
  state.uploaderArgv[kArgCount] = nullptr;
  return true;
}

}  // namespace

bool InstallCrashHandler(const char* uploaderPath, const char* infoText, const char* dumpPath) {
  std::lock_guard<std::mutex> hold(g_installLock);
  if (g_installed || !PrepareState(uploaderPath, infoText, dumpPath) || !PrepareAlternateStack()) return false;
  struct sigaction action {};
  action.sa_sigaction = CrashSignalHandler;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  ::sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < kSignalCount; ++i) ::sigaction(kCrashSignals[i], &action, &g_state.previous[i]);
  g_installed = true;
  return true;
}
