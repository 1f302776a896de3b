#include "tests/support/x11_driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "tests/support/temp_dir.h"

namespace test_support {
namespace {

constexpr int kPollMs = 50;
constexpr int kPaintTimeoutMs = 10000;

template <typename Condition>
bool WaitUntil(int timeoutMs, Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

// Window names are matched whole and literally.
std::string ExactNamePattern(const std::string& name) {
  std::string pattern = "^";
  for (char c : name) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern.push_back('\\');
    pattern.push_back(c);
  }
  return pattern + "$";
}

std::string Id(XWindow window) { return std::to_string(window); }

}  // namespace

CommandResult Xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"env", "LC_ALL=C.UTF-8", "xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, 20000);
}

bool ScreenSize(int* width, int* height) {
  const CommandResult r = Xdotool({"getdisplaygeometry"});
  std::istringstream in(r.out);
  return r.exitCode == 0 && (in >> *width >> *height);
}

XWindow WaitForWindow(const std::string& name, int timeoutMs, bool viewable) {
  XWindow found = 0;
  std::vector<std::string> args = {"search"};
  if (viewable) args.push_back("--onlyvisible");
  args.insert(args.end(), {"--name", ExactNamePattern(name)});
  WaitUntil(timeoutMs, [&] {
    const CommandResult r = Xdotool(args);
    found = r.exitCode == 0 ? std::strtoul(r.out.c_str(), nullptr, 10) : 0;
    return found != 0;
  });
  return found;
}

bool WaitForNoWindow(const std::string& name, int timeoutMs) {
  return WaitUntil(timeoutMs, [&] {
    const CommandResult r = Xdotool({"search", "--onlyvisible", "--name", ExactNamePattern(name)});
    return r.exitCode != 0 || r.out.empty();
  });
}

bool IsViewable(XWindow window) {
  const CommandResult r = RunCommand({"xwininfo", "-id", Id(window)}, 20000);
  return r.exitCode == 0 && r.out.find("Map State: IsViewable") != std::string::npos;
}

bool Geometry(XWindow window, WindowGeometry* out) {
  // xwininfo's absolute corner is the window's own, also inside a window
  // manager's frame (xdotool adds the frame's offset to it once more).
  const CommandResult r = RunCommand({"xwininfo", "-id", Id(window)}, 30000);
  if (r.exitCode != 0) return false;
  const std::pair<const char*, int*> fields[] = {{"Absolute upper-left X:", &out->x},
                                                 {"Absolute upper-left Y:", &out->y},
                                                 {"Width:", &out->width},
                                                 {"Height:", &out->height}};
  int seen = 0;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    for (const auto& [label, value] : fields) {
      const size_t at = line.find(label);
      if (at == std::string::npos) continue;
      *value = std::atoi(line.c_str() + at + std::strlen(label));
      ++seen;
    }
  }
  return seen == 4;
}

bool Click(XWindow window, int x, int y) {
  // Move and click in one xdotool: its requests reach the server in order.
  // ("mousemove --sync" to where the pointer already is waits in vain, as a
  // second click on the same button would.)
  return Xdotool({"windowfocus", "--sync", Id(window)}).exitCode == 0 &&
         Xdotool({"mousemove", "--window", Id(window), std::to_string(x), std::to_string(y), "click", "1"})
                 .exitCode == 0;
}

bool Type(XWindow window, const std::string& text) {
  return Xdotool({"windowfocus", "--sync", Id(window)}).exitCode == 0 &&
         Xdotool({"type", "--delay", "20", text}).exitCode == 0;
}

bool Key(XWindow window, const std::string& keys) {
  return Xdotool({"windowfocus", "--sync", Id(window)}).exitCode == 0 && Xdotool({"key", keys}).exitCode == 0;
}

namespace {

// A window is mapped before the program has painted it (a slow,
// instrumented build shows that), and until then the picture shows what
// lies beneath. It counts once it holds more than one colour and the next
// one is the same; a window that keeps changing (a clock, a preview) gives
// its last picture.
bool SettledPicture(const std::vector<std::string>& importArgs, const std::string& path) {
  const std::string previous = path + ".previous.png";
  std::vector<std::string> argv{"import"};
  argv.insert(argv.end(), importArgs.begin(), importArgs.end());
  argv.push_back(path);
  bool coloured = false;
  WaitUntil(kPaintTimeoutMs, [&] {
    if (RunCommand(argv, 30000).exitCode != 0) return false;
    coloured = std::atol(RunCommand({"identify", "-format", "%k", path}).out.c_str()) > 1;
    const CommandResult same = RunCommand({"compare", "-metric", "AE", path, previous, "null:"});
    if (coloured && same.exitCode == 0 && std::atol(same.err.c_str()) == 0) return true;
    RunCommand({"cp", path, previous});
    return false;
  });
  std::remove(previous.c_str());
  return coloured;
}

}  // namespace

bool Screenshot(XWindow window, const std::string& path) { return SettledPicture({"-window", Id(window)}, path); }

bool ScreenshotOfArea(const WindowGeometry& area, const std::string& path) {
  const std::string crop = std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
                           std::to_string(area.x) + "+" + std::to_string(area.y);
  return SettledPicture({"-window", "root", "-crop", crop}, path);
}

}  // namespace test_support
