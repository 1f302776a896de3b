#include "strivon/ManagerFactories.h"

#include "capture/VideoCapture.h"
#include "capture/VideoShowMain.h"

ManagerFactories DefaultManagerFactories() {
  ManagerFactories factories;
  factories.createDeviceList = &CreateDeviceList;
  factories.createAudioCapture = &CreateAudioCapture;
  factories.createVideoCapture = &CreateVideoCapture;
  factories.createPreview = &CreateVideoShowMain;
  factories.createEncoder = &CreateEncoderMediaThenSendThroughRtmp;
  factories.createServerSchedule = &CreateServerSchedule;
  factories.outside = OutsideFactories();
  return factories;
}
