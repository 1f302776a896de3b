// Runs a program as a child process and reports what the kernel charged it:
// user + system CPU and peak resident memory from wait4. Both sides of the
// encoder benchmark are measured this way, so neither is counted differently.
#pragma once
#include <string>
#include <vector>

struct ChildUsage {
  bool ok = false;  // started and exited with status 0
  int status = 0;   // as wait4 gave it
  double cpuSeconds = 0;
  double wallSeconds = 0;
  long peakRssKb = 0;
  long minorFaults = 0;
};

// stdout and stderr of the child go to outputPath (appended), or nowhere
// when it is empty. With cpu >= 0 the child and all its threads run on that
// CPU only; a child that cannot be pinned is not started (status 126).
ChildUsage RunChild(const std::vector<std::string>& argv, const std::string& outputPath = "", int cpu = -1);

// Whether this process may run on cpu.
bool CpuUsable(int cpu);

// The argument list as one shell-quoted line, for printing.
std::string CommandLine(const std::vector<std::string>& argv);
