// A fixed 3-second byte ring of 16-bit PCM (529200 bytes: 44100 Hz stereo)
// with an optional linear fade applied on read. The encoder object uses one
// to cut arbitrary PCM blocks into encoder-sized frames; the publish manager
// uses more of them for mixing, writing on capture threads and reading on
// its send thread. All operations take the ring's own lock.
#pragma once
#include <mutex>
#include <vector>

class PcmRingBuffer {
 public:
  static constexpr int kStoreBytes = 529200;
  static constexpr int kFullGain = 22050;
  static constexpr int kFadeIn = 0;
  static constexpr int kFadeOut = 1;
  static constexpr int kNoFade = 2;

  PcmRingBuffer() = default;
  ~PcmRingBuffer() { Uninit(); }
  PcmRingBuffer(const PcmRingBuffer&) = delete;
  PcmRingBuffer& operator=(const PcmRingBuffer&) = delete;

  // Allocates the store (once) and empties the ring.
  void Init();
  // Empties the ring and frees the store.
  void Uninit();

  // Appends what fits; the rest is dropped. Returns 0 when data or the store
  // is missing, else the count of writes not yet matched by a read (unchanged
  // when the ring was already full).
  int Write(const char* data, int length);
  // All or nothing: dst is zero-filled, then length bytes are copied out (and
  // faded) when that many are buffered. Returns length or 0.
  int Read(short* dst, int length);

  // enabled: apply the fade on read; gain 0..22050; direction kFadeIn,
  // kFadeOut or kNoFade.
  void SetFade(bool enabled, int gain, int direction);
  // Bytes currently buffered.
  int Buffered() const;
  int PendingWrites() const;

 private:
  int BufferedLocked() const;
  void ApplyFade(short* samples, int count);

  mutable std::mutex m_lock;
  int m_pendingWrites = 0;
  std::vector<char> m_store;  // empty until Init
  int m_readPos = -1;         // -1: empty
  int m_writePos = 0;         // -1: full
  bool m_fadeEnabled = false;
  int m_fadeGain = kFullGain;
  int m_fadeDirection = kNoFade;
};
