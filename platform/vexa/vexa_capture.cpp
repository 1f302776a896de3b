// The file source behind IVexaCapture: one decode thread that reads ahead
// and hands each item to the sink when the play clock reaches it. The
// controls (Play, Pause, Seek...) only change shared state under the lock;
// the thread acts on it, so a control never waits for decoding.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/vexa/IVexaCapture.h"
#include "platform/vexa/media_item_source.h"
#include "platform/vexa/play_clock.h"

namespace {

constexpr int kMaxFrameRate = 60;

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class CVexaCapture final : public IVexaCapture {
 public:
  CVexaCapture(IVexaCaptureNotify* sink, std::unique_ptr<MediaFileReader> reader, int width,
               int height, bool stretch, int framerate, int sampleRate, int channels)
      : m_hasPicture(reader->HasVideo()),
        m_sink(sink),
        m_source(std::move(reader), width, height, stretch, sampleRate, channels),
        m_frameRate(framerate) {
    m_thread = std::thread([this] { Run(); });
  }

  bool Play() override {
    std::lock_guard lock(m_lock);
    if (m_completed) {  // playing again after the end starts from the top
      m_completed = false;
      RequestSeekLocked(0, false);
    }
    m_playing = true;
    m_clock.Resume();
    m_wake.notify_all();
    return true;
  }

  bool Stop() override {
    std::lock_guard lock(m_lock);
    m_playing = false;
    m_clock.Pause();
    m_completed = false;
    RequestSeekLocked(0, false);
    m_wake.notify_all();
    return true;
  }

  bool Pause() override {
    std::lock_guard lock(m_lock);
    m_playing = false;
    m_clock.Pause();
    m_wake.notify_all();
    return true;
  }

  bool Seek(int positionMs, int mode) override {
    if (mode != 0 && mode != 1) return false;
    int64_t target = positionMs;
    if (mode == 1) target += std::max<int64_t>(0, m_position.load());
    std::lock_guard lock(m_lock);
    m_completed = false;
    RequestSeekLocked(std::max<int64_t>(0, target), true);
    m_wake.notify_all();
    return true;
  }

  bool SetPara(int para, int value) override {
    if (para != kVexaParaFrameRate || value < 1 || value > kMaxFrameRate) return false;
    m_frameRate = value;
    return true;
  }

  int64_t GetPosition() override { return m_position.load(); }

  bool HasPicture() override { return m_hasPicture; }

  void SetVolume(int volumePercent) override { m_volume = std::clamp(volumePercent, 0, 100); }

  void Release() override {
    {
      std::lock_guard lock(m_lock);
      m_quit = true;
      m_wake.notify_all();
    }
    if (std::this_thread::get_id() == m_thread.get_id()) {
      // Released from one of our own callbacks: the thread ends the object.
      m_releasedFromCallback = true;
      return;
    }
    m_thread.join();
    delete this;
  }

 private:
  void RequestSeekLocked(int64_t target, bool notify) {
    m_seekPending = true;
    m_seekTarget = target;
    m_seekNotify = notify;
  }

  void Run() {
    for (;;) {
      std::unique_lock lock(m_lock);
      m_wake.wait(lock, [this] { return m_quit || m_seekPending || (m_playing && !m_completed); });
      if (m_quit) break;
      if (m_seekPending) {
        const int64_t target = m_seekTarget;
        const bool notify = m_seekNotify;
        m_seekPending = false;
        // Time stamps go on from where the clock is now.
        m_clockBaseMs = std::max(m_clock.NowMs(), m_lastStampMs);
        lock.unlock();
        if (!m_source.SeekTo(target)) m_sink->OnVexaCaptureStatus(Widen("seek failed").c_str());
        m_mediaBaseMs = std::min<int64_t>(target, m_source.DurationMs() > 0 ? m_source.DurationMs() : target);
        m_position = m_mediaBaseMs;
        m_nextVideoSlotMs = -1;
        m_lastItemMs = -1;
        // The status text may have been answered with Release.
        if (notify && !m_releasedFromCallback) m_sink->OnVexaCaptureSeekDone(m_mediaBaseMs);
        continue;
      }
      lock.unlock();

      MediaItem* item = m_source.Peek();
      if (!item) {
        lock.lock();
        if (m_seekPending || m_quit) continue;
        m_completed = true;
        lock.unlock();
        if (m_source.ReadTimedOut()) m_sink->OnVexaCaptureStatus(Widen("read timed out").c_str());
        // The status text may have been answered with Release.
        if (m_releasedFromCallback) continue;
        m_sink->OnVexaCapturePlayComplete();
        continue;
      }
      if (m_lastItemMs >= 0 && std::abs(item->positionMs - m_lastItemMs) > kMediaJumpMs) {
        // A damaged or spliced file jumped in time: play on from here instead
        // of waiting for (or racing through) the jump.
        lock.lock();
        m_clockBaseMs = std::max(m_clock.NowMs(), m_lastStampMs);
        lock.unlock();
        m_mediaBaseMs = item->positionMs;
      }
      m_lastItemMs = item->positionMs;
      const int64_t due = m_clockBaseMs + (item->positionMs - m_mediaBaseMs);
      lock.lock();
      while (!m_quit && !m_seekPending && m_playing && m_clock.NowMs() < due) {
        const int64_t wait = std::min<int64_t>(due - m_clock.NowMs(), 100);
        m_wake.wait_for(lock, std::chrono::milliseconds(wait));
      }
      if (m_quit || m_seekPending || !m_playing) continue;  // the item waits
      lock.unlock();
      Deliver(item, due);
      m_source.Pop();
    }
    if (m_releasedFromCallback) {
      m_thread.detach();
      delete this;
    }
  }

  void Deliver(MediaItem* item, int64_t due) {
    const int64_t stamp = std::max(due, m_lastStampMs);
    if (item->video) {
      // Pictures come on a grid of the frame rate: one per slot at most, so
      // over any stretch of time no more than the rate allows (a 25 fps file
      // at 10 fps gives 10 a second, not every third picture).
      const int64_t gap = 1000 / std::max(1, m_frameRate.load());
      if (m_nextVideoSlotMs >= 0 && stamp < m_nextVideoSlotMs - 1) return;
      m_nextVideoSlotMs = (m_nextVideoSlotMs < 0 || stamp >= m_nextVideoSlotMs + gap)
                              ? stamp + gap  // the first picture, or after a gap in the file
                              : m_nextVideoSlotMs + gap;
      m_lastStampMs = stamp;
      m_position = item->positionMs;
      m_sink->OnVexaCaptureVideo(0, item->data.data(), static_cast<int>(item->data.size()),
                                 static_cast<uint32_t>(stamp), m_frameIndex++);
      return;
    }
    const int volume = m_volume.load();
    if (volume < 100) {
      int16_t* samples = reinterpret_cast<int16_t*>(item->data.data());
      const size_t count = item->data.size() / 2;
      for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(samples[i] * volume / 100);
    }
    m_lastStampMs = stamp;
    m_position = item->positionMs;
    m_sink->OnVexaCaptureAudio(0, item->data.data(), static_cast<int>(item->data.size()),
                               static_cast<uint32_t>(stamp), item->sampleFrames);
  }

  const bool m_hasPicture;
  IVexaCaptureNotify* m_sink;
  MediaItemSource m_source;  // decode thread only
  std::atomic<int> m_frameRate;
  std::atomic<int> m_volume{100};
  std::atomic<int64_t> m_position{0};

  std::mutex m_lock;
  std::condition_variable m_wake;
  PlayClock m_clock;  // under m_lock
  bool m_playing = false;
  bool m_completed = false;
  bool m_quit = false;
  bool m_seekPending = false;
  bool m_seekNotify = false;
  int64_t m_seekTarget = 0;
  int64_t m_lastStampMs = 0;  // written by the decode thread, read under m_lock by it too

  // Decode thread only.
  int64_t m_clockBaseMs = 0;
  int64_t m_mediaBaseMs = 0;
  int64_t m_nextVideoSlotMs = -1;
  int64_t m_lastItemMs = -1;
  int m_frameIndex = 0;
  std::atomic<bool> m_releasedFromCallback{false};
  std::thread m_thread;
};

}  // namespace

IVexaCapture* CreateVexaCapture(IVexaCaptureNotify* sink, const char* path, int width, int height,
                                unsigned char bitDepth, bool stretch, int framerate, int sampleRate,
                                int channels, std::string* error) {
  std::string reason;
  std::string* out = error ? error : &reason;
  if (!path || !*path) {
    *out = "no file name";
    return nullptr;
  }
  if (!sink || bitDepth != 24 || width < 2 || height < 2 || width > 7680 ||
      height > 4320 || framerate < 1 || framerate > kMaxFrameRate || sampleRate < 8000 ||
      sampleRate > 192000 || channels < 1 || channels > 2) {
    *out = "invalid arguments";
    return nullptr;
  }
  auto reader = std::make_unique<MediaFileReader>();
  if (!reader->Open(path, out)) return nullptr;
  return new CVexaCapture(sink, std::move(reader), width, height, stretch, framerate, sampleRate,
                          channels);
}
