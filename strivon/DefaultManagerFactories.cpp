#include "strivon/ManagerFactories.h"

#include "capture/VideoCapture.h"

ManagerFactories DefaultManagerFactories() {
  ManagerFactories factories;
  factories.createDeviceList = &CreateDeviceList;
  factories.createAudioCapture = &CreateAudioCapture;
  factories.createVideoCapture = &CreateVideoCapture;
  factories.createEncoder = &CreateEncoderMediaThenSendThroughRtmp;
  factories.outside = OutsideFactories();
  return factories;
}
