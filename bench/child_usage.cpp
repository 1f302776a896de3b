#include "bench/child_usage.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

bool CpuUsable(int cpu) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  return cpu >= 0 && cpu < CPU_SETSIZE && sched_getaffinity(0, sizeof(allowed), &allowed) == 0 &&
         CPU_ISSET(cpu, &allowed);
}

ChildUsage RunChild(const std::vector<std::string>& argv, const std::string& outputPath, int cpu) {
  ChildUsage usage;
  if (argv.empty()) return usage;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return usage;
  if (pid == 0) {
    const int out = outputPath.empty() ? open("/dev/null", O_WRONLY)
                                       : open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    if (in >= 0) dup2(in, 0);
    if (cpu >= 0) {
      // Set before exec, so every thread the program starts inherits it.
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(cpu, &one);
      if (sched_setaffinity(0, sizeof(one), &one) != 0) _exit(126);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  rusage ru{};
  int status = 0;
  pid_t done = -1;
  do {
    done = wait4(pid, &status, 0, &ru);
  } while (done < 0 && errno == EINTR);
  usage.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (done != pid) return usage;
  usage.status = status;
  usage.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  usage.cpuSeconds = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
  usage.peakRssKb = ru.ru_maxrss;
  usage.minorFaults = ru.ru_minflt;
  return usage;
}

std::string CommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& a : argv) {
    if (!line.empty()) line += ' ';
    if (a.find_first_of(" '\"$\\*?;&|<>()") == std::string::npos && !a.empty()) {
      line += a;
      continue;
    }
    line += '\'';
    for (char c : a) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += '\'';
  }
  return line;
}
