// The one wiring point between the publish manager and the components it
// creates: the device list, the microphone capture, the encoder, the
// scheduler, the outside libraries and, in the build that has it, the
// picture-in-picture compositor. The library's export hands the
// manager the real table; tests hand it doubles.
#pragma once
#include <functional>
#include <string>

#include "capture/IAudioCapture.h"
#include "capture/IDeviceList.h"
#include "capture/IVideoCapture.h"
#include "capture/IVideoShowVMR.h"
#include "encodemediathensendthroughrtmp/IEncoderMediaThenSendThroughRtmp.h"
#include "platform/outside/OutsideFactories.h"
#include "schedule/IServerSchedule.h"
#include "strivon/IPictureCompositor.h"

struct ManagerFactories {
  std::function<IDeviceList*(IDeviceListNotfiy* notify)> createDeviceList;
  std::function<IAudioCapture*(IAudioCaptureNotify* notify, int captureId, const char* deviceName, int nameIndex,
                               int nameCount, int* channels, int* sampleRate, unsigned short* bitsPerSample,
                               bool* ok, std::string* error)>
      createAudioCapture;
  // Empty until the library carries its camera capture: a switch to the
  // camera then reports that no capture could be made.
  VideoCaptureFactory createVideoCapture;
  // Set only by the build with picture in picture; the manager makes its one
  // compositor with it, handing it the camera factory above.
  std::function<IPictureCompositor*(VideoCaptureFactory createCapture)> createPictureCompositor;
  // Empty until the library carries its preview window: runs have none.
  std::function<IVideoShowVMR*()> createPreview;
  std::function<IEncoderMediaThenSendThroughRtmp*(IEncoderMediaThenSendThroughRtmpNotify* notify)> createEncoder;
  // Empty: the run reports that no schedule object could be made.
  std::function<IServerSchedule*(IServerScheduleNotify* notify)> createServerSchedule;
  OutsideFactoryTable outside;
  // The library's version text; empty means the library file's own time.
  std::function<std::string()> sdkVersion;
};

// The real components; defined by the library itself.
ManagerFactories DefaultManagerFactories();
