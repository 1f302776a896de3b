#include "tests/support/shaped_loopback.h"

#include "tests/support/private_network.h"
#include "tests/support/process.h"

namespace test_support {

namespace {

bool Run(const std::vector<std::string>& argv, std::string* error) {
  const CommandResult result = RunCommand(argv, 10000);
  if (result.exitCode == 0) return true;
  std::string line;
  for (const std::string& arg : argv) line += (line.empty() ? "" : " ") + arg;
  *error = line + ": " + (result.err.empty() ? "exit " + std::to_string(result.exitCode) : result.err);
  return false;
}

}  // namespace

bool ShapeLoopback(const LinkShape& shape, std::string* error) {
  if (!InPrivateNetwork()) {
    *error = "not in a private network namespace; the machine's loopback stays as it is";
    return false;
  }
  return Run({"ip", "link", "set", "lo", "mtu", std::to_string(shape.mtu)}, error) &&
         Run({"tc", "qdisc", "replace", "dev", "lo", "root", "tbf", "rate", std::to_string(shape.kbitPerSecond) + "kbit",
              "burst", std::to_string(shape.burstKbit) + "kbit", "latency", std::to_string(shape.latencyMs) + "ms"},
             error);
}

}  // namespace test_support
