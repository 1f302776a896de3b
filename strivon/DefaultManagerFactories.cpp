#include "strivon/ManagerFactories.h"

#include "capture/VideoCapture.h"
#include "capture/VideoShowMain.h"
#include "strivon/SdkBuild.h"

ManagerFactories DefaultManagerFactories() {
  ManagerFactories factories;
  factories.createDeviceList = &CreateDeviceList;
  factories.createAudioCapture = &CreateAudioCapture;
  factories.createVideoCapture = &CreateVideoCapture;
  factories.createPreview = &CreateVideoShowMain;
  factories.createEncoder = &CreateEncoderMediaThenSendThroughRtmp;
  factories.createServerSchedule = &CreateServerSchedule;
  factories.outside = OutsideFactories();
#if STRIVON_SDK_PICTURE_IN_PICTURE
  factories.createPictureCompositor = &CreatePictureCompositor;
#endif
  return factories;
}
