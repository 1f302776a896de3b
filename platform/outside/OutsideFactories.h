// One wiring point for the four outside libraries the publish manager uses:
// the manager creates screen captures, file sources, logo filters, noise
// suppressors and the desktop-sound library only through the table returned
// by OutsideFactories(), never by calling the libraries directly. Tests swap
// the table for doubles (platform/outside/OutsideDoubles.h) and put it back
// afterwards.
#pragma once
#include <functional>
#include <string>

#include "platform/grabora/IScreenCapture.h"
#include "platform/hushgain/Hushgain.h"
#include "platform/vexa/IADFilter.h"
#include "platform/vexa/IVexaCapture.h"
#include "platform/wexmoor/WexmoorLoader.h"

struct OutsideFactoryTable {
  std::function<IScreenCapture*()> createScreenCapture;
  // error (may be null) gets the reason of a null result.
  std::function<IVexaCapture*(IVexaCaptureNotify* sink, const char* path, int width, int height,
                              unsigned char bitDepth, bool stretch, int framerate, int sampleRate,
                              int channels, std::string* error)>
      createVexaCapture;
  std::function<IADFilter*(IADFilterNotify* sink)> createFilter;
  std::function<int()> createHushgain;
  std::function<int(int handle, int sampleRate, int bitsPerSample, int suppressionLevel,
                    int suppressionMode, int agcLevel, int channels)>
      hushgainInit;
  std::function<int(int handle, short* samples, int byteLength)> hushgainPro;
  std::function<int(int handle)> hushgainDestroy;
  // Loads the desktop-sound library; the real entry looks beside the library.
  std::function<WexmoorLoadResult()> loadWexmoor;
};

// The table in use. Starts as RealOutsideFactories(). Read it from any
// thread; replace it only while no component uses it (tests, set-up).
const OutsideFactoryTable& OutsideFactories();
// Replaces the table (entries left empty fall back to the real ones).
void SetOutsideFactories(const OutsideFactoryTable& table);
// Puts the real libraries back.
void ResetOutsideFactories();
// The table wired to Grabora, VexaFfmpeg2013, Hushgain and Wexmoor.
OutsideFactoryTable RealOutsideFactories();
