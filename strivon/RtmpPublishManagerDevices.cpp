// The device lists the host reads and the devices it selects.
#include "capture/TextConvert.h"
#include "common/Log.h"
#include "strivon/RtmpPublishManager.h"

namespace {

std::vector<std::wstring> CopyList(IDeviceList* list, int type) {
  const std::vector<std::wstring>* names = list->GetList(type);
  return names ? *names : std::vector<std::wstring>();
}

}  // namespace

void RtmpPublishManager::LoadDeviceLists() {
  if (m_factories.createDeviceList) m_deviceList = m_factories.createDeviceList(nullptr);
  if (!m_deviceList) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::RtmpPublishManager", "no device list; device lists stay empty");
    return;
  }
  // The enumerator refills one list per call, so each category is copied
  // before the next is asked for.
  m_devices.Load(DeviceKind::kCamera, CopyList(m_deviceList, kDeviceListVideoInput));
  m_devices.Load(DeviceKind::kMicrophone, CopyList(m_deviceList, kDeviceListAudioInput));
  m_devices.Load(DeviceKind::kAudioOutput, CopyList(m_deviceList, kDeviceListAudioRenderer));
}

std::string RtmpPublishManager::FirstMicrophoneNow() {
  if (!m_deviceList) return "";
  const std::vector<std::wstring> names = CopyList(m_deviceList, kDeviceListAudioInput);
  return names.empty() ? "" : WideToAnsiString(names.front());
}

int RtmpPublishManager::ListDevices(DeviceKind kind, const char* leakNotice, const wchar_t*** names,
                                    unsigned* count) {
  if (!names || !count) return -1;
  if (*names != nullptr) {
    m_notifier.Status(strivon_status::kLevelDevice, leakNotice);
    return 0;
  }
  *names = m_devices.Names(kind, count);
  return 0;
}

int RtmpPublishManager::GetCamList(const wchar_t*** names, unsigned* count) {
  return ListDevices(DeviceKind::kCamera, strivon_status::kGetCamListLeak, names, count);
}

int RtmpPublishManager::GetMicList(const wchar_t*** names, unsigned* count) {
  return ListDevices(DeviceKind::kMicrophone, strivon_status::kGetMicListLeak, names, count);
}

int RtmpPublishManager::GetAudioPlayDevList(const wchar_t*** names, unsigned* count) {
  return ListDevices(DeviceKind::kAudioOutput, strivon_status::kGetAudioPlayDevListLeak, names, count);
}

int RtmpPublishManager::SetCam(int index) { return m_devices.Select(DeviceKind::kCamera, index); }

int RtmpPublishManager::SetMic(int index) { return m_devices.Select(DeviceKind::kMicrophone, index); }

int RtmpPublishManager::SetAudioPlayDev(int index) { return m_devices.Select(DeviceKind::kAudioOutput, index); }

int RtmpPublishManager::SetStereoMix(bool stereoMix) {
  m_stereoMix = stereoMix ? 1 : -1;
  std::lock_guard<std::recursive_mutex> lock(m_sourceLock);
  if (m_audioCapture) {
    if (stereoMix) {
      m_audioCapture->SelectStereoMix();
    } else {
      m_audioCapture->SelectMicrophone();
    }
  }
  return 0;
}

std::string RtmpPublishManager::WideToAnsiString(const std::wstring& name) { return WideToAnsi(name); }
