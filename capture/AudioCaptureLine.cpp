// The capture's recording-line selection: rebuild the graph on the input that
// records the wanted line, then make that input audible at full volume on the
// sound server.
#include <algorithm>

#include "capture/AudioCapture.h"
#include "capture/RecordingLine.h"
#include "capture/TextConvert.h"
#include "common/Log.h"

bool CAudioCapture::SelectStereoMix() { return SelectLine(RecordingLine::kStereoMix) == 0; }
bool CAudioCapture::SelectMicrophone() { return SelectLine(RecordingLine::kMicrophone) == 0; }

void CAudioCapture::StopForRebuild() {
  // A failed Start leaves the event thread running on a graph that is not;
  // it must be gone before the graph it watches is released.
  if (m_control) m_control->Stop();
  m_running = 0;
  JoinEventThread();
  m_graphRunning = false;
  RevokeFromRot();
}

int CAudioCapture::SelectLine(RecordingLine line) {
  std::lock_guard<std::recursive_mutex> lock(m_apiLock);
  if (!m_deviceList) return -1;
  std::vector<std::wstring> names;
  if (auto* list = m_deviceList->GetList(kDeviceListAudioInput)) names = *list;
  const int chosen = ChooseRecordingInput(names, line);
  std::wstring target = chosen >= 0 ? names[static_cast<size_t>(chosen)] : std::wstring();
  // Count 0: the selection does not know how many inputs share the name.
  int targetIndex = 0, targetCount = 0;
  // Back to the microphone means back to the one the host chose, when it
  // chose one (and not a stereo mix) and it is still there: not whichever
  // input a name suggests.
  if (line == RecordingLine::kMicrophone && !m_chosenName.empty() && !IsStereoMixInput(m_chosenName) &&
      std::find(names.begin(), names.end(), m_chosenName) != names.end()) {
    target = m_chosenName;
    targetIndex = m_chosenIndex;
    targetCount = m_chosenCount;
  }
  // Already recording that input: a rebuild would only cut the sound.
  if (!target.empty() && (target != m_deviceName || !m_graphBuilt)) {
    const bool wasRunning = m_graphRunning;
    const std::wstring previous = m_deviceName;
    const int previousIndex = m_deviceIndex, previousCount = m_deviceCount;
    StopForRebuild();
    std::string error;
    const bool built = BuildGraph(target, targetIndex, targetCount, &error);
    if (!built) {
      // Keep recording what was recorded before rather than nothing.
      BuildGraph(previous, previousIndex, previousCount, &error);
      AppendError(error.c_str());
    }
    if (wasRunning) Start();
    if (!built) return -1;
  }
  if (m_deviceName.empty()) return -1;
  if (!m_volume) m_volume.reset(CreateControlVolum(this));
  if (!m_volume) return -1;
  SetInputVolume();
  return 0;
}

void CAudioCapture::SetInputVolume() {
  const std::string name = WideToAnsi(m_deviceName);
  // The selection stands even when the server cannot be told: the input is
  // recorded either way, perhaps quieter than wanted.
  const bool found = m_volume->SetEndpoint(name.c_str());
  const bool unmuted = m_volume->SetMute(0);
  const bool loud = m_volume->SetVolume(100);
  if (!found || !unmuted || !loud)
    STRIVON_LOG(kLogWarning, "CAudioCapture::SelectLine", "volume of %s not set", name.c_str());
}
