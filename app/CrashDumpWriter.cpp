#include "app/CrashDumpWriter.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <ucontext.h>
#include <unistd.h>

#define UNW_LOCAL_ONLY
#include <libunwind.h>

#include "app/SignalSafeText.h"

namespace {

constexpr int kMaxFrames = 128;
// Frames of the handler itself that may come before the signal frame.
constexpr int kMaxHandlerFrames = 32;

// Appends to fd and remembers whether anything was lost.
class DumpOutput {
 public:
  explicit DumpOutput(int fd) : fd_(fd) {}

  void Bytes(const char* data, size_t length) {
    while (ok_ && length > 0) {
      const ssize_t written = ::write(fd_, data, length);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        ok_ = false;
        return;
      }
      data += written;
      length -= static_cast<size_t>(written);
    }
  }
  void Text(const char* text) { Bytes(text, TextLengthSignalSafe(text)); }
  void Decimal(uint64_t value) { Number(value, 10); }
  void Hex(uint64_t value) {
    Text("0x");
    Number(value, 16);
  }
  bool ok() const { return ok_; }

 private:
  void Number(uint64_t value, unsigned base) {
    char digits[24];
    Bytes(digits, FormatUnsignedSignalSafe(value, base, digits, sizeof(digits)));
  }

  int fd_;
  bool ok_ = true;
};

const char* SignalName(int signalNumber) {
  switch (signalNumber) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "?";
  }
}

void WriteRegisters(DumpOutput& out, const void* context) {
  out.Text("registers:\n");
  if (context == nullptr) {
    out.Text("  unavailable\n");
    return;
  }
  const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  static const struct {
    const char* name;
    int index;
  } kRegisters[] = {
      {"rax", REG_RAX}, {"rbx", REG_RBX}, {"rcx", REG_RCX}, {"rdx", REG_RDX}, {"rsi", REG_RSI},
      {"rdi", REG_RDI}, {"rbp", REG_RBP}, {"rsp", REG_RSP}, {"r8", REG_R8},   {"r9", REG_R9},
      {"r10", REG_R10}, {"r11", REG_R11}, {"r12", REG_R12}, {"r13", REG_R13}, {"r14", REG_R14},
      {"r15", REG_R15}, {"rip", REG_RIP}, {"eflags", REG_EFL}, {"err", REG_ERR}, {"trapno", REG_TRAPNO},
  };
  for (const auto& reg : kRegisters) {
    out.Text("  ");
    out.Text(reg.name);
    out.Text(" ");
    out.Hex(static_cast<uint64_t>(uc->uc_mcontext.gregs[reg.index]));
    out.Text("\n");
  }
#elif defined(__aarch64__)
  for (int i = 0; i < 31; ++i) {
    out.Text("  x");
    out.Decimal(static_cast<uint64_t>(i));
    out.Text(" ");
    out.Hex(uc->uc_mcontext.regs[i]);
    out.Text("\n");
  }
  out.Text("  sp ");
  out.Hex(uc->uc_mcontext.sp);
  out.Text("\n  pc ");
  out.Hex(uc->uc_mcontext.pc);
  out.Text("\n  pstate ");
  out.Hex(uc->uc_mcontext.pstate);
  out.Text("\n");
#else
  (void)uc;
  out.Text("  not decoded on this architecture\n");
#endif
}

// Positions cursor on the frame that was running when the signal came, so the
// backtrace starts at the crash rather than inside this handler. libunwind
// flags that frame (the one the kernel's signal frame restores) as the signal
// frame. When none is recognised, the whole stack from here is shown instead.
bool StartAtInterruptedFrame(unw_cursor_t* cursor, unw_context_t* context) {
  if (unw_init_local(cursor, context) != 0) return false;
  for (int i = 0; i < kMaxHandlerFrames; ++i) {
    if (unw_is_signal_frame(cursor) > 0) return true;
    if (unw_step(cursor) <= 0) break;
  }
  return unw_init_local(cursor, context) == 0;
}

void WriteBacktrace(DumpOutput& out) {
  out.Text("backtrace:\n");
  unw_context_t context;
  unw_cursor_t cursor;
  if (unw_getcontext(&context) != 0 || !StartAtInterruptedFrame(&cursor, &context)) {
    out.Text("  unavailable\n");
    return;
  }
  for (int frame = 0; frame < kMaxFrames; ++frame) {
    unw_word_t ip = 0;
    unw_get_reg(&cursor, UNW_REG_IP, &ip);
    out.Text("  #");
    out.Decimal(static_cast<uint64_t>(frame));
    out.Text(" ");
    out.Hex(ip);
    char name[512];
    unw_word_t offset = 0;
    if (unw_get_proc_name(&cursor, name, sizeof(name), &offset) == 0) {
      out.Text(" ");
      out.Text(name);
      out.Text("+");
      out.Hex(offset);
    } else {
      out.Text(" ??");
    }
    out.Text("\n");
    if (unw_step(&cursor) <= 0) return;
  }
  out.Text("  ...\n");
}

void CopyMemoryMap(DumpOutput& out) {
  out.Text("memory map:\n");
  const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (maps < 0) {
    out.Text("  unavailable\n");
    return;
  }
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(maps, chunk, sizeof(chunk));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    out.Bytes(chunk, static_cast<size_t>(got));
  }
  ::close(maps);
}

}  // namespace

bool WriteCrashDump(int fd, const char* programPath, const char* pidText, int signalNumber,
                    const siginfo_t* info, const void* context) {
  DumpOutput out(fd);
  out.Text("Velmora crash dump\nprogram: ");
  out.Text(programPath);
  out.Text("\npid: ");
  out.Text(pidText);
  out.Text("\nsignal: ");
  out.Decimal(static_cast<uint64_t>(signalNumber));
  out.Text(" (");
  out.Text(SignalName(signalNumber));
  out.Text(")\ncode: ");
  if (info != nullptr && info->si_code < 0) {
    out.Text("-");
    out.Decimal(static_cast<uint64_t>(-static_cast<int64_t>(info->si_code)));
  } else {
    out.Decimal(info != nullptr ? static_cast<uint64_t>(info->si_code) : 0);
  }
  out.Text("\nfault address: ");
  out.Hex(info != nullptr ? reinterpret_cast<uintptr_t>(info->si_addr) : 0);
  out.Text("\n");
  WriteRegisters(out, context);
  WriteBacktrace(out);
  CopyMemoryMap(out);
  out.Text("end of dump\n");
  return out.ok();
}
