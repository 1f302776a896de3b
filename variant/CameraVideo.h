// CCameraVideo: the camera of picture-in-picture. It keeps the newest frame
// of its own camera capture so the manager's worker can compose it with each
// screen frame; the camera's pictures never enter the video queue directly.
// Owned by the publish manager of the TessalySdk build.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "capture/IVideoCapture.h"

class CCameraVideo final : public IVideoCaptureNotify {
 public:
  using CreateCapture = std::function<IVideoCapture*(IVideoCaptureNotify* notify, int captureId,
                                                     const char* deviceName, int nameIndex, int nameCount,
                                                     int* width, int* height, int* frameRate, bool* ok,
                                                     std::string* error)>;

  explicit CCameraVideo(CreateCapture createCapture);
  ~CCameraVideo();
  CCameraVideo(const CCameraVideo&) = delete;
  CCameraVideo& operator=(const CCameraVideo&) = delete;

  // Replaces any running camera with the named one delivering frames of
  // width x height. 0 when the camera runs, -1 otherwise (then no frame is
  // held). The frame of the previous camera is dropped either way.
  int init(const char* name, int nameIndex, int nameCount, int frameRate, int width, int height);
  // Releases the camera, so the device is free and its light goes off.
  void Stop();
  // Copies the newest frame to dst when it fits in capacity bytes; returns
  // the bytes copied (0 before the first frame or when it does not fit).
  int GetFrame(BYTE* dst, int capacity, int* width, int* height);

  // IVideoCaptureNotify (the camera's streaming thread).
  bool OnVideoData(int captureId, BYTE* rgb, int len, int64_t startMs, int64_t stopMs) override;
  bool OnVideoRawData(int captureId, BYTE* rgb, int len, int64_t startMs, int64_t stopMs) override;
  bool OnHDVideoCapNotify(std::string text, int kind) override;

 private:
  void SizeFrame(int width, int height);

  const CreateCapture m_createCapture;
  // Held while the capture is made or released; never inside a callback, so
  // a release may wait for the streaming thread.
  std::mutex m_captureLock;
  IVideoCapture* m_capture = nullptr;

  std::mutex m_frameLock;
  std::unique_ptr<BYTE[]> m_frame;
  int m_capacity = 0;
  int m_width = 0;
  int m_height = 0;
  int m_frameLength = 0;
};
