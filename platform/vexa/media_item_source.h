// Turns a media file into the items the file source delivers: output-size
// pictures and publish-format sound blocks, each with its position in the
// file (ms), handed out in position order. Sound follows the file's time
// stamps; where the file has none (no sound track, a hole, a track that ends
// before the picture) silence takes its place, so the sound runs alongside
// the pictures to the end. Used only by the decode thread.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/vexa/media_file_reader.h"
#include "platform/vexa/media_item.h"
#include "platform/vexa/picture_fitter.h"
#include "platform/vexa/sound_converter.h"
#include "platform/vexa/sound_timeline.h"

class MediaItemSource {
 public:
  MediaItemSource(std::unique_ptr<MediaFileReader> reader, int width, int height, bool stretch,
                  int sampleRate, int channels);

  // The earliest item not yet taken, or null at the end of the file.
  MediaItem* Peek();
  void Pop();
  // Starts again from positionMs (clamped to the file): queued items are
  // dropped, and items before the position are skipped.
  bool SeekTo(int64_t positionMs);
  int64_t DurationMs() const { return m_reader->DurationMs(); }
  // The file ended early because a read passed its deadline.
  bool ReadTimedOut() const { return m_reader->ReadTimedOut(); }

 private:
  // Too many items of one kind while the other is awaited means a badly
  // interleaved file; beyond this the earliest is handed out anyway.
  static constexpr size_t kMaxQueued = 256;
  // The same by size: a file whose sound ends long before its picture would
  // otherwise hold kMaxQueued output-size pictures (1.6 GB at 1080p). This
  // still covers over a second of 1080p, more than files interleave by.
  static constexpr size_t kMaxQueuedBytes = size_t{256} << 20;

  void ReadOne();
  void TakePicture(AVFrame* frame, int64_t positionMs);
  void TakeSound(AVFrame* frame, int64_t positionMs);
  // Queues silence where sound is awaited but will not come in time.
  void FillMissingSound(bool overfull);

  std::unique_ptr<MediaFileReader> m_reader;
  PictureFitter m_fitter;
  SoundConverter m_converter;
  SoundTimeline m_sound;
  std::deque<MediaItem> m_video;
  std::deque<MediaItem> m_audio;
  size_t m_queuedBytes = 0;  // data of both queues
  bool m_readerEnd = false;
  int64_t m_skipBeforeMs = 0;
  int64_t m_lastVideoMs = -1;  // the furthest picture
  // The picture read last and how long the one before it lasted: where the
  // pictures end, for the silence after a sound track that ended early.
  int64_t m_lastPictureMs = -1;
  int64_t m_pictureStepMs = 0;
};
