// Voltrim: makes one recording input loud and audible on the sound server.
// The microphone capture hands it the input it has just chosen; the volume
// control unmutes that input and sets its volume, and leaves the system's
// default input as it is. Calls block the caller for at most a few seconds
// when the server does not answer.
#pragma once

// The creator's side of the volume control; it carries nothing yet.
class IVoltrimNotify {
 protected:
  ~IVoltrimNotify() = default;
};

class IVolumeControl {
 public:
  // Chooses the input by the name the device list shows (its description)
  // or by its server name. False when the server cannot be reached or has no
  // such input; the later calls then change nothing.
  virtual bool SetEndpoint(const char* name) = 0;
  // 0 unmutes, anything else mutes.
  virtual bool SetMute(int mute) = 0;
  // Every channel of the input to percent (clamped to 0..100) of its
  // normal volume.
  virtual bool SetVolume(int percent) = 0;
  virtual void Release() = 0;

 protected:
  ~IVolumeControl() = default;
};

// Never null except when memory runs out; no server is contacted here.
IVolumeControl* CreateControlVolum(IVoltrimNotify* notify);
