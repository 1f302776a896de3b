#include "strivon/ManagerFactories.h"

ManagerFactories DefaultManagerFactories() {
  ManagerFactories factories;
  factories.createDeviceList = &CreateDeviceList;
  factories.createAudioCapture = &CreateAudioCapture;
  factories.createEncoder = &CreateEncoderMediaThenSendThroughRtmp;
  factories.createServerSchedule = &CreateServerSchedule;
  factories.outside = OutsideFactories();
  return factories;
}
