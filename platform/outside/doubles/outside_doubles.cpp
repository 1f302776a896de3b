#include "platform/outside/OutsideDoubles.h"

namespace {

template <typename T>
std::vector<T*> Pointers(std::mutex& lock, const std::vector<std::unique_ptr<T>>& owned) {
  std::lock_guard guard(lock);
  std::vector<T*> out;
  for (const auto& item : owned) out.push_back(item.get());
  return out;
}

}  // namespace

OutsideDoubles::OutsideDoubles() {
  OutsideFactoryTable table;
  table.createScreenCapture = [this]() -> IScreenCapture* {
    if (screenFails) return nullptr;
    std::lock_guard lock(m_lock);
    m_screens.push_back(std::make_unique<FakeScreenCapture>(screenWidth, screenHeight));
    return m_screens.back().get();
  };
  table.createVexaCapture = [this](IVexaCaptureNotify* sink, const char* path, int width, int height,
                                   unsigned char bitDepth, bool, int framerate, int sampleRate,
                                   int channels, std::string* error) -> IVexaCapture* {
    if (vexaFails || !sink || !path || bitDepth != 24 || width <= 0 || height <= 0) {
      if (error) *error = "refused by the test";
      return nullptr;
    }
    std::lock_guard lock(m_lock);
    m_fileSources.push_back(std::make_unique<FakeVexaCapture>(sink, path, width, height, framerate,
                                                              sampleRate, channels));
    return m_fileSources.back().get();
  };
  table.createFilter = [this](IADFilterNotify*) -> IADFilter* {
    if (filterFails) return nullptr;
    std::lock_guard lock(m_lock);
    m_filters.push_back(std::make_unique<FakeADFilter>(filterInitResult.load()));
    return m_filters.back().get();
  };
  table.createHushgain = [this] { return m_hushgain.Create(); };
  table.hushgainInit = [this](int handle, int rate, int bits, int level, int mode, int agc, int channels) {
    return m_hushgain.Init(handle, rate, bits, level, mode, agc, channels);
  };
  table.hushgainPro = [this](int handle, short* samples, int bytes) {
    return m_hushgain.Process(handle, samples, bytes);
  };
  table.hushgainDestroy = [this](int handle) { return m_hushgain.Destroy(handle); };
  table.loadWexmoor = [this] {
    switch (m_wexmoor.load()) {
      case WexmoorDouble::kToneLibrary:
        return LoadWexmoor(FAKE_WEXMOOR_FOLDER);
      case WexmoorDouble::kWithoutExport:
        return LoadWexmoor(NOEXPORT_WEXMOOR_FOLDER);
      default:
        return LoadWexmoor("/nonexistent-wexmoor-folder");
    }
  };
  SetOutsideFactories(table);
}

OutsideDoubles::~OutsideDoubles() { ResetOutsideFactories(); }

void OutsideDoubles::SetWexmoor(WexmoorDouble kind) { m_wexmoor = kind; }

std::vector<FakeScreenCapture*> OutsideDoubles::screens() { return Pointers(m_lock, m_screens); }
std::vector<FakeVexaCapture*> OutsideDoubles::fileSources() { return Pointers(m_lock, m_fileSources); }
std::vector<FakeADFilter*> OutsideDoubles::filters() { return Pointers(m_lock, m_filters); }
