// The logo the manager draws over every outgoing picture (SetLogo): the
// outside overlay filter, kept at the size of the pictures it is given. The
// output size may change after the logo was set (a size set later, the
// screen path's rounding), and a filter made for another size refuses every
// picture; so the filter is made again for the new size, and a picture the
// filter cannot draw on goes out without the logo rather than not at all.
// The picture paths (camera thread, worker, file source) call Draw at the
// same time as the host's SetLogo; one lock orders them.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/vexa/IADFilter.h"

class LogoOverlay {
 public:
  LogoOverlay() = default;
  ~LogoOverlay() { Clear(); }
  LogoOverlay(const LogoOverlay&) = delete;
  LogoOverlay& operator=(const LogoOverlay&) = delete;

  // Takes filter (not null) as the logo, initialised with text for pictures
  // of width x height; returns the filter's Init result.
  int Set(IADFilter* filter, const std::string& text, int width, int height);
  // Releases the filter; pictures go out as they are.
  void Clear();

  // Draws the logo on picture (width x height RGB24 in a buffer of capacity
  // bytes): emit runs once for each picture the filter hands back, written
  // into picture. False when there is no logo or the filter gave nothing
  // back; picture is then untouched. The first failure of a stretch is logged.
  bool Draw(uint8_t* picture, int width, int height, int capacity, const std::function<void()>& emit);

 private:
  std::mutex m_lock;
  IADFilter* m_filter = nullptr;
  std::string m_text;
  int m_width = 0;  // the size the filter was last initialised for
  int m_height = 0;
  bool m_ready = false;  // that initialisation succeeded
  bool m_failing = false;
};
