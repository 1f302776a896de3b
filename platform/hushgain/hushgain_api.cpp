// The handle table behind the plain Hushgain functions. A handle is a slot
// number + 1, so 0 never names a handle; a freed slot is used again. The
// table lock only guards lookups; each handle has its own lock, so one
// handle's processing never waits for another's.
#include <memory>
#include <mutex>
#include <vector>

#include "platform/hushgain/Hushgain.h"
#include "platform/hushgain/channel_preprocessor.h"

namespace {

constexpr size_t kMaxHandles = 64;

struct HushgainSlot {
  std::mutex lock;
  bool ready = false;
  ChannelPreprocessor processor;
};

std::mutex g_tableLock;
std::vector<std::shared_ptr<HushgainSlot>> g_table;

std::shared_ptr<HushgainSlot> Find(int handle) {
  std::lock_guard lock(g_tableLock);
  if (handle <= 0 || static_cast<size_t>(handle) > g_table.size()) return nullptr;
  return g_table[static_cast<size_t>(handle) - 1];
}

}  // namespace

int createHushgain() {
  std::lock_guard lock(g_tableLock);
  for (size_t i = 0; i < g_table.size(); ++i) {
    if (!g_table[i]) {
      g_table[i] = std::make_shared<HushgainSlot>();
      return static_cast<int>(i + 1);
    }
  }
  if (g_table.size() >= kMaxHandles) return 0;
  g_table.push_back(std::make_shared<HushgainSlot>());
  return static_cast<int>(g_table.size());
}

int HushgainInit(int handle, int sampleRate, int bitsPerSample, int suppressionLevel,
                 int suppressionMode, int agcLevel, int channels) {
  std::shared_ptr<HushgainSlot> slot = Find(handle);
  if (!slot) return 1;
  std::lock_guard lock(slot->lock);
  slot->ready = false;
  if (bitsPerSample != 16 || sampleRate < 8000 || sampleRate > 48000 || channels < 1 || channels > 2) {
    return 2;
  }
  HushgainSettings settings{sampleRate, channels, suppressionLevel, suppressionMode, agcLevel};
  if (!slot->processor.Configure(settings)) return 3;
  slot->ready = true;
  return 0;
}

int HushgainPro(int handle, short* samples, int byteLength) {
  if (!samples || byteLength <= 0 || byteLength % 2 != 0) return 1;
  std::shared_ptr<HushgainSlot> slot = Find(handle);
  if (!slot) return 1;
  std::lock_guard lock(slot->lock);
  if (!slot->ready) return 2;
  if ((byteLength / 2) % slot->processor.Channels() != 0) return 3;  // split sample frame
  slot->processor.Process(samples, byteLength / 2);
  return 0;
}

int HushgainDestroy(int handle) {
  std::lock_guard lock(g_tableLock);
  if (handle <= 0 || static_cast<size_t>(handle) > g_table.size()) return 1;
  auto& slot = g_table[static_cast<size_t>(handle) - 1];
  if (!slot) return 1;
  slot.reset();  // a HushgainPro still running keeps its own reference
  return 0;
}
