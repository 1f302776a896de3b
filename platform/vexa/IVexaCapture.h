// VexaFfmpeg2013 media-file source: plays one media file as a picture and
// sound source for the publish manager's file mode. Backed by libavformat,
// libavcodec, libswscale and libswresample. The manager creates it with
// CreateVexaCapture (or through the factory table in platform/outside/),
// drives it with the operations below and frees it with Release.
#pragma once
#include <cstdint>
#include <string>

#include "platform/outside/win_types.h"

// Implemented by the owner. Every call comes from the source's decode
// thread, never after Release has returned.
class IVexaCaptureNotify {
 public:
  // The end of the file was played out. Once per Play of the whole file
  // (again only after a Seek or Stop and a new Play).
  virtual void OnVexaCapturePlayComplete() = 0;
  // A Seek has taken effect; positionMs is the new file position.
  virtual void OnVexaCaptureSeekDone(int64_t positionMs) = 0;
  // One picture: width x height x 3 bytes of the output size, packed B,G,R,
  // top-down, the file's picture fitted in with black borders. timestampMs is
  // the play clock (rises, never goes back, also across Pause and Seek);
  // frameIndex counts the pictures delivered since creation.
  virtual void OnVexaCaptureVideo(int id, BYTE* data, int byteCount, uint32_t timestampMs,
                                  int frameIndex) = 0;
  // One block of interleaved signed 16-bit PCM in the publish format given
  // to CreateVexaCapture. sampleFrames = byteCount / (channels x 2).
  virtual void OnVexaCaptureAudio(int id, BYTE* pcm, int byteCount, uint32_t timestampMs,
                                  int sampleFrames) = 0;
  // Information and error texts ("seek failed", "read timed out").
  virtual void OnVexaCaptureStatus(const wchar_t* text) = 0;

 protected:
  ~IVexaCaptureNotify() = default;
};

class IVexaCapture {
 public:
  // Starts or resumes delivery (after Stop: from the start of the file).
  virtual bool Play() = 0;
  // Stops delivery and rewinds to the start.
  virtual bool Stop() = 0;
  // Stops delivery and keeps the position; Play resumes.
  virtual bool Pause() = 0;
  // mode 0: go to positionMs from the start of the file; mode 1: move by
  // positionMs (may be negative) from the current position. The position is
  // clamped to the file. The play clock keeps rising.
  virtual bool Seek(int positionMs, int mode) = 0;
  // para kVexaParaFrameRate: change the highest picture rate (1..60).
  // Unknown parameters are refused (false).
  virtual bool SetPara(int para, int value) = 0;
  // The file position in ms of the last delivered media, -1 when unknown.
  virtual int64_t GetPosition() = 0;
  // 0..100 % of the file's own loudness, applied to the delivered PCM.
  virtual void SetVolume(int volumePercent) = 0;
  // Joins the decode thread; no callback comes after it returns.
  virtual void Release() = 0;
  // Whether the file has a picture stream (known from the open): one with
  // sound alone delivers no pictures at all.
  virtual bool HasPicture() = 0;

 protected:
  ~IVexaCapture() = default;
};

inline constexpr int kVexaParaFrameRate = 1;

// Opens and probes path synchronously; null when it is not a regular file,
// cannot be opened within a few seconds, has neither picture nor sound,
// bitDepth is not 24 or a size/rate is out of range; *error (when given)
// then says why in a few words. width x height is the output picture;
// stretch=true fills it without borders (the manager passes false).
// framerate caps the picture rate. sampleRate/channels are the publish
// format of the delivered PCM (the file's sound is resampled to it; a file
// without sound delivers silence). Nothing is delivered before Play.
IVexaCapture* CreateVexaCapture(IVexaCaptureNotify* sink, const char* path, int width, int height,
                                unsigned char bitDepth, bool stretch, int framerate,
                                int sampleRate = 44100, int channels = 2,
                                std::string* error = nullptr);
