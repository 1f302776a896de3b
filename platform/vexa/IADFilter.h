// VexaFfmpeg2013 overlay filter: runs RGB24 pictures of one fixed size
// through a libavfilter graph; the publish manager uses it to draw the logo
// over every outgoing picture. Created with CreateFilter (or through the
// factory table in platform/outside/), freed with Release.
#pragma once
#include "platform/outside/win_types.h"

// Implemented by the owner; told about graph problems (called from Init,
// Push or Pull on the caller's thread). The answer is ignored; return 0.
class IADFilterNotify {
 public:
  virtual int OnADFilterMessage(const char* text) = 0;

 protected:
  ~IADFilterNotify() = default;
};

class IADFilter {
 public:
  // Builds the graph from filterText (libavfilter graph syntax with a buffer
  // source labelled "in" and a buffer sink labelled "out") for packed B,G,R
  // top-down pictures of width x height. bytesPerPixel must be 3. Returns 0
  // when ready, negative on failure (bad text, bad size, missing input file).
  virtual int Init(const char* filterText, int width, int height, int bytesPerPixel) = 0;
  // Feeds one picture. Refused (negative) unless Init succeeded and byteCount
  // is exactly width x height x 3. Returns 0 when taken.
  virtual int Push(BYTE* rgb, int byteCount) = 0;
  // Takes one filtered picture. *byteCount holds the capacity of rgb on
  // entry; never more than that is written. On success returns the bytes
  // written (>= 0) and sets *byteCount to it; negative when no picture is
  // ready or the capacity is too small (nothing written then).
  virtual int Pull(BYTE* rgb, int* byteCount) = 0;
  virtual void Release() = 0;

 protected:
  ~IADFilter() = default;
};

IADFilter* CreateFilter(IADFilterNotify* sink);
