// Camera capture as the publish manager sees it: one camera, its pictures
// delivered as top-down RGB24 frames of the output size with their capture
// times. The manager creates one per switch to the camera through its
// factory table and frees it with Release.
#pragma once
#include <cstdint>
#include <string>

#include "platform/dshow/com_types.h"

// Implemented by the owner; the first two are called on the capture's
// streaming thread, the third on whichever thread met the event.
class IVideoCaptureNotify {
 public:
  // The processed picture (output size, rows of width x 3 bytes, top-down).
  virtual bool OnVideoData(int captureId, BYTE* rgb, int len, int64_t startMs, int64_t stopMs) = 0;
  // The same picture at the camera's own size, before scaling.
  virtual bool OnVideoRawData(int captureId, BYTE* rgb, int len, int64_t startMs, int64_t stopMs) = 0;
  // kind 0 an error, kind 1 an information.
  virtual bool OnHDVideoCapNotify(std::string text, int kind) = 0;

 protected:
  ~IVideoCaptureNotify() = default;
};

class IVideoCapture {
 public:
  virtual bool Start() = 0;
  // Synchronous: no OnVideoData arrives after it returns.
  virtual bool Stop() = 0;
  virtual int GetId() = 0;
  virtual void SetAudioLevel(const short* pcm, int byteCount) = 0;
  virtual void EnableLevelBar(const bool* on) = 0;
  // Stops and destroys the object.
  virtual void Release() = 0;

 protected:
  ~IVideoCapture() = default;
};
