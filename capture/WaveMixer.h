// CWaveMixer: the recording-line selection of systems without per-input
// volume endpoints. It keeps the capture's graph and instead points the
// sound card's wave-in selector at the microphone or the stereo-mix source,
// with the volumes to match. Made for one selection call and dropped.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "capture/IWaveMixer.h"

class CWaveMixer {
 public:
  explicit CWaveMixer(IWaveMixerSystem* system) : m_system(system) {}
  void SetDeviceName(const std::wstring& name) { m_deviceName = name; }
  void SelectMicrophone();
  void SelectStereoMix();

  // Index of the mixer that belongs to the wave-in device named in
  // deviceName, or -1 when there is no mixer.
  static int ChooseMixer(const std::vector<std::wstring>& waveIns, const std::vector<std::wstring>& mixers,
                         const std::wstring& deviceName);

 private:
  struct LineRecord {
    uint32_t lineId = 0;
    std::wstring name;
    uint32_t componentType = 0;
    bool hasMute = false;
    uint32_t muteId = 0;
    bool hasVolume = false;
    uint32_t volumeId = 0, volumeMin = 0, volumeMax = 0, volumeSteps = 0;
    bool hasOnOff = false;
    uint32_t onOffId = 0;
    std::wstring onOffName;
    bool hasFaderOrSwitch = false;
  };
  struct Selector {
    bool found = false;
    uint32_t lineId = 0;
    std::wstring lineName;
    uint32_t componentType = 0;
    uint32_t controlId = 0;
    std::vector<uint32_t> values;  // value j belongs to the item j from the end
  };

  bool OpenAndRead();
  void ReadLine(const MixerLine& line, bool source);
  uint32_t ItemCount(const MixerControl& control) const;
  bool ReadSelectorValues();
  void WriteSelectorValues();
  void SetMute(const LineRecord& line, bool mute);
  void SetVolume(const LineRecord& line, int percent);
  // Index of the first source record, or -1 when the records hold none.
  int FirstSourceRecord();

  IWaveMixerSystem* m_system;
  std::vector<LineRecord> m_lines;
  Selector m_selector;
  std::unique_ptr<IWaveMixerDevice> m_mixer;
  std::wstring m_deviceName;
};
