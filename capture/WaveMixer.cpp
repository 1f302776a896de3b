#include "capture/WaveMixer.h"

#include <algorithm>

using namespace wave_mixer;

namespace {

// Far above any sound card; a mixer reporting more is not believed.
constexpr uint32_t kMaxLines = 64;
constexpr uint32_t kMaxItems = 64;
constexpr int kOnVolume = 70;

bool IsMicrophone(uint32_t type) { return type == kSourceMicrophone; }

bool IsStereoMixSource(const std::wstring& name, uint32_t type) {
  return name.find(L"立体声") != std::wstring::npos || name.find(L"stereo") != std::wstring::npos ||
         type == kSourceAnalog;
}

}  // namespace

int CWaveMixer::ChooseMixer(const std::vector<std::wstring>& waveIns, const std::vector<std::wstring>& mixers,
                            const std::wstring& deviceName) {
  if (mixers.empty()) return -1;
  std::wstring waveIn = waveIns.empty() ? std::wstring() : waveIns[0];
  for (const auto& name : waveIns) {
    if (deviceName.find(name) != std::wstring::npos) {
      waveIn = name;
      break;
    }
  }
  for (size_t i = 0; i < mixers.size(); ++i)
    if (mixers[i] == waveIn) return static_cast<int>(i);
  return 0;
}

bool CWaveMixer::OpenAndRead() {
  m_lines.clear();
  m_selector = Selector();
  if (!m_system) return false;
  const int index = ChooseMixer(m_system->WaveInProductNames(), m_system->MixerProductNames(), m_deviceName);
  if (index < 0) return false;
  m_mixer = m_system->Open(static_cast<uint32_t>(index));
  if (!m_mixer) return false;
  const uint32_t destinations = std::min(m_mixer->DestinationCount(), kMaxLines);
  for (uint32_t d = 0; d < destinations; ++d) {
    MixerLine destination;
    if (!m_mixer->GetDestination(d, &destination) || destination.componentType != kDestinationWaveIn) continue;
    ReadLine(destination, false);
    const uint32_t sources = std::min(destination.sourceCount, kMaxLines);
    for (uint32_t s = 0; s < sources; ++s) {
      MixerLine source;
      if (m_mixer->GetSource(d, s, &source)) ReadLine(source, true);
    }
  }
  return true;
}

void CWaveMixer::ReadLine(const MixerLine& line, bool source) {
  LineRecord record;
  record.lineId = line.id;
  record.name = line.name;
  record.componentType = line.componentType;
  std::vector<MixerControl> controls;
  if (!m_mixer->GetLineControls(line.id, &controls)) return;
  for (const MixerControl& listed : controls) {
    MixerControl c;
    if (!m_mixer->GetControl(listed.id, &c)) continue;
    if (c.type == kControlMux && !m_selector.found) {
      m_selector.found = true;
      m_selector.lineId = line.id;
      m_selector.lineName = line.name;
      m_selector.componentType = line.componentType;
      m_selector.controlId = c.id;
    } else if (c.type == kControlMute) {
      record.hasMute = true;
      record.muteId = c.id;
    } else if (c.type == kControlVolume) {
      record.hasVolume = true;
      record.volumeId = c.id;
      record.volumeMin = c.minimum;
      record.volumeMax = c.maximum;
      record.volumeSteps = c.steps;
    } else if (source && (c.type == kControlOnOff || c.type == kControlLoudness)) {
      record.hasOnOff = true;
      record.onOffId = c.id;
      record.onOffName = c.name;
    }
    const uint32_t kind = c.type & kClassMask;
    if (kind == kClassSwitch || kind == kClassFader) record.hasFaderOrSwitch = true;
  }
  if (record.hasFaderOrSwitch) m_lines.push_back(record);
}

uint32_t CWaveMixer::ItemCount(const MixerControl& control) const {
  return (control.flags & kFlagMultiple) ? control.multipleItems : 1;
}

bool CWaveMixer::ReadSelectorValues() {
  MixerControl c;
  if (!m_selector.found || !m_mixer->GetControl(m_selector.controlId, &c) || c.type != kControlMux) return false;
  const uint32_t count = ItemCount(c);
  std::vector<uint32_t> raw;
  if (count == 0 || count > kMaxItems || !m_mixer->GetDetails(c.id, count, &raw) || raw.size() != count)
    return false;
  m_selector.values.assign(raw.rbegin(), raw.rend());
  return true;
}

void CWaveMixer::WriteSelectorValues() {
  MixerControl c;
  if (!m_mixer->GetControl(m_selector.controlId, &c) || c.type != kControlMux) return;
  const uint32_t count = ItemCount(c);
  std::vector<uint32_t> raw;
  // The item count may have changed since the values were read: then they
  // no longer say which item is which.
  if (count != m_selector.values.size() || !m_mixer->GetDetails(c.id, count, &raw) || raw.size() != count) return;
  for (uint32_t j = 0; j < count; ++j) raw[count - 1 - j] = m_selector.values[j];
  m_mixer->SetDetails(c.id, raw);
}

void CWaveMixer::SetMute(const LineRecord& line, bool mute) {
  MixerControl c;
  if (!line.hasMute || !m_mixer->GetControl(line.muteId, &c) || c.type != kControlMute) return;
  std::vector<uint32_t> value;
  if (!m_mixer->GetDetails(c.id, 1, &value) || value.empty()) return;
  value.resize(1);
  value[0] = mute ? 1 : 0;
  m_mixer->SetDetails(c.id, value);
}

void CWaveMixer::SetVolume(const LineRecord& line, int percent) {
  MixerControl c;
  if (!line.hasVolume || !m_mixer->GetControl(line.volumeId, &c) || c.type != kControlVolume) return;
  const float span = static_cast<float>(c.maximum) - static_cast<float>(c.minimum);
  const float value = static_cast<float>(c.minimum) + span * static_cast<float>(percent) / 100.0f;
  m_mixer->SetDetails(c.id, {value > 0 ? static_cast<uint32_t>(value) : 0u});
}

int CWaveMixer::FirstSourceRecord() {
  if (m_lines.empty()) return -1;
  if (m_lines[0].componentType == kDestinationWaveIn) {
    SetMute(m_lines[0], false);
    SetVolume(m_lines[0], kOnVolume);
    return 1;
  }
  return m_lines[0].componentType >= kSourceFirst ? 0 : -1;
}

void CWaveMixer::SelectMicrophone() {
  if (!OpenAndRead()) return;
  if (m_selector.found) {
    const int first = ReadSelectorValues() ? FirstSourceRecord() : -1;
    if (first >= 0 && static_cast<size_t>(first) < m_lines.size()) {
      for (size_t j = 0; j < m_selector.values.size(); ++j) {
        const size_t at = static_cast<size_t>(first) + j;
        // An item without a record of its own is not the microphone.
        const bool mic = at < m_lines.size() && IsMicrophone(m_lines[at].componentType);
        m_selector.values[j] = mic ? 1 : 0;
        if (at < m_lines.size()) SetVolume(m_lines[at], mic ? kOnVolume : 0);
      }
    }
    if (!m_selector.values.empty()) WriteSelectorValues();
  } else {
    for (const LineRecord& line : m_lines) {
      const bool on = line.componentType == kDestinationWaveIn || IsMicrophone(line.componentType);
      SetMute(line, !on);
      if (on) SetVolume(line, kOnVolume);
    }
  }
  m_mixer.reset();
}

void CWaveMixer::SelectStereoMix() {
  if (!OpenAndRead()) return;
  if (m_selector.found) {
    const int first = ReadSelectorValues() ? FirstSourceRecord() : -1;
    if (first >= 0 && static_cast<size_t>(first) < m_lines.size()) {
      for (size_t j = 0; j < m_selector.values.size(); ++j) {
        const size_t at = static_cast<size_t>(first) + j;
        if (at >= m_lines.size()) {
          m_selector.values[j] = 0;
          continue;
        }
        const LineRecord& line = m_lines[at];
        const bool mix = IsStereoMixSource(line.name, line.componentType);
        m_selector.values[j] = mix ? 1 : 0;
        SetVolume(line, mix || IsMicrophone(line.componentType) ? kOnVolume : 0);
      }
    }
    if (!m_selector.values.empty()) WriteSelectorValues();
  } else {
    for (const LineRecord& line : m_lines) {
      if (line.componentType == kDestinationWaveIn || IsMicrophone(line.componentType) ||
          line.componentType == kSourceAnalog) {
        SetMute(line, false);
        SetVolume(line, kOnVolume);
      }
    }
  }
  m_mixer.reset();
}
