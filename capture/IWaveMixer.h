// The sound card's wave-in mixer as the recording-line selection of older
// systems steers it: lines with their controls, and control values read and
// written by identifier. The type codes are the mixer's own, so a real back
// end passes them through unchanged.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wave_mixer {
constexpr uint32_t kDestinationWaveIn = 7;
constexpr uint32_t kSourceFirst = 0x1000;
constexpr uint32_t kSourceMicrophone = 0x1003;
constexpr uint32_t kSourceAnalog = 0x100A;

constexpr uint32_t kClassMask = 0xF0000000;
constexpr uint32_t kClassSwitch = 0x20000000;
constexpr uint32_t kClassFader = 0x50000000;
constexpr uint32_t kControlOnOff = 0x20010001;
constexpr uint32_t kControlMute = 0x20010002;
constexpr uint32_t kControlLoudness = 0x20010004;
constexpr uint32_t kControlVolume = 0x50030001;
constexpr uint32_t kControlMux = 0x70010001;
constexpr uint32_t kFlagMultiple = 0x00000002;
}  // namespace wave_mixer

struct MixerLine {
  uint32_t id = 0;
  uint32_t componentType = 0;
  uint32_t sourceCount = 0;  // destinations only
  std::wstring name;
};

struct MixerControl {
  uint32_t id = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  uint32_t multipleItems = 0;  // items of a list control
  uint32_t minimum = 0, maximum = 0, steps = 0;
  std::wstring name;
};

// One opened mixer; closed when destroyed.
class IWaveMixerDevice {
 public:
  virtual ~IWaveMixerDevice() = default;
  virtual uint32_t DestinationCount() = 0;
  virtual bool GetDestination(uint32_t index, MixerLine* line) = 0;
  virtual bool GetSource(uint32_t destination, uint32_t index, MixerLine* line) = 0;
  virtual bool GetLineControls(uint32_t lineId, std::vector<MixerControl>* controls) = 0;
  virtual bool GetControl(uint32_t controlId, MixerControl* control) = 0;
  // count unsigned values: one per item of a list control, else one channel.
  virtual bool GetDetails(uint32_t controlId, uint32_t count, std::vector<uint32_t>* values) = 0;
  virtual bool SetDetails(uint32_t controlId, const std::vector<uint32_t>& values) = 0;
};

// The machine's wave-in devices and mixers, by product name.
class IWaveMixerSystem {
 public:
  virtual std::vector<std::wstring> WaveInProductNames() = 0;
  virtual std::vector<std::wstring> MixerProductNames() = 0;
  virtual std::unique_ptr<IWaveMixerDevice> Open(uint32_t index) = 0;

 protected:
  ~IWaveMixerSystem() = default;
};
