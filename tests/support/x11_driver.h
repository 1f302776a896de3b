// A presenter's mouse and keyboard for black-box tests of windowed
// programs: windows are found by their X11 names and driven from outside
// through xdotool on this process's DISPLAY; pictures are taken with
// ImageMagick's import. Names are matched whole and literally, in UTF-8.
// Every wait has a time-out.
#pragma once
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace test_support {

using XWindow = unsigned long;

struct WindowGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};

// The first window named exactly name, 0 when none existed within
// timeoutMs. With viewable, only a mapped (shown) window counts.
XWindow WaitForWindow(const std::string& name, int timeoutMs, bool viewable = true);
// True once no viewable window of that name is left within timeoutMs.
bool WaitForNoWindow(const std::string& name, int timeoutMs);
bool IsViewable(XWindow window);
bool Geometry(XWindow window, WindowGeometry* out);
bool ScreenSize(int* width, int* height);

// Mouse click at (x, y) inside the window; keyboard focus goes to the window
// first, so typed keys go where the click put the program's focus.
bool Click(XWindow window, int x, int y);
bool Type(XWindow window, const std::string& text);
// xdotool key names ("Return", "Tab", "ctrl+a").
bool Key(XWindow window, const std::string& keys);
// The window's picture as PNG, once the program has painted it.
bool Screenshot(XWindow window, const std::string& path);
// What the screen shows in that area (screen coordinates), whatever window
// lies on top there, once it has settled.
bool ScreenshotOfArea(const WindowGeometry& area, const std::string& path);

// Runs xdotool with these arguments; what it printed.
CommandResult Xdotool(const std::vector<std::string>& args);

}  // namespace test_support
