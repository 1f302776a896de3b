#include "platform/outside/OutsideFactories.h"

namespace {

OutsideFactoryTable& Current() {
  static OutsideFactoryTable table = RealOutsideFactories();
  return table;
}

}  // namespace

OutsideFactoryTable RealOutsideFactories() {
  OutsideFactoryTable table;
  table.createScreenCapture = [] { return CreateScreenCapture(); };
  table.createVexaCapture = [](IVexaCaptureNotify* sink, const char* path, int width, int height,
                               unsigned char bitDepth, bool stretch, int framerate, int sampleRate,
                               int channels, std::string* error) {
    return CreateVexaCapture(sink, path, width, height, bitDepth, stretch, framerate, sampleRate,
                             channels, error);
  };
  table.createFilter = [](IADFilterNotify* sink) { return CreateFilter(sink); };
  table.createHushgain = [] { return createHushgain(); };
  table.hushgainInit = [](int handle, int rate, int bits, int level, int mode, int agc, int channels) {
    return HushgainInit(handle, rate, bits, level, mode, agc, channels);
  };
  table.hushgainPro = [](int handle, short* samples, int bytes) {
    return HushgainPro(handle, samples, bytes);
  };
  table.hushgainDestroy = [](int handle) { return HushgainDestroy(handle); };
  table.loadWexmoor = [] { return LoadWexmoor(); };
  return table;
}

const OutsideFactoryTable& OutsideFactories() { return Current(); }

void SetOutsideFactories(const OutsideFactoryTable& table) {
  const OutsideFactoryTable real = RealOutsideFactories();
  OutsideFactoryTable merged = table;
  if (!merged.createScreenCapture) merged.createScreenCapture = real.createScreenCapture;
  if (!merged.createVexaCapture) merged.createVexaCapture = real.createVexaCapture;
  if (!merged.createFilter) merged.createFilter = real.createFilter;
  if (!merged.createHushgain) merged.createHushgain = real.createHushgain;
  if (!merged.hushgainInit) merged.hushgainInit = real.hushgainInit;
  if (!merged.hushgainPro) merged.hushgainPro = real.hushgainPro;
  if (!merged.hushgainDestroy) merged.hushgainDestroy = real.hushgainDestroy;
  if (!merged.loadWexmoor) merged.loadWexmoor = real.loadWexmoor;
  Current() = merged;
}

void ResetOutsideFactories() { Current() = RealOutsideFactories(); }
