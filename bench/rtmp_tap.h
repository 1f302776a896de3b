// A one-connection TCP relay put in front of the RTMP server a publisher
// under measurement talks to. It passes every byte on unchanged, and notes
// for each video message of the publisher the moment its last byte arrived.
// The video messages also go into a video-only FLV file whose tag stamps
// are the message's position (index x 40 ms), so a decoded picture's stamp
// names the message that carried it.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TappedPicture {
  int64_t arrivalNs = 0;   // steady clock
  uint32_t timestamp = 0;  // the publisher's own stamp
};

class RtmpTap {
 public:
  static constexpr int kFlvStepMs = 40;

  RtmpTap() = default;
  ~RtmpTap() { Stop(); }
  RtmpTap(const RtmpTap&) = delete;
  RtmpTap& operator=(const RtmpTap&) = delete;

  // Listens on a free loopback port and relays its first client to
  // 127.0.0.1:serverPort, writing the pictures to flvPath.
  bool Start(int serverPort, const std::string& flvPath);
  // Ends the relay (closing both connections) and the FLV file.
  void Stop();
  int port() const { return m_port; }

  // Arrival of the first picture, or -1 while none came.
  int64_t FirstPictureNs() const { return m_firstPictureNs.load(); }
  // The pictures (AVC sequence headers left out) in arrival order.
  std::vector<TappedPicture> Pictures() const;
  // The stream could not be followed (the arrival times are incomplete).
  bool Broken() const { return m_broken.load(); }

 private:
  void Run();
  void Relay(int client, int server);
  void OnVideo(const std::string& body, uint32_t timestamp, int64_t nowNs);

  int m_listen = -1;
  int m_port = 0;
  int m_serverPort = 0;
  std::FILE* m_flv = nullptr;
  uint32_t m_flvTags = 0;
  std::atomic<bool> m_stopping{false};
  std::atomic<bool> m_broken{false};
  std::atomic<int64_t> m_firstPictureNs{-1};
  std::thread m_thread;
  mutable std::mutex m_lock;
  std::vector<TappedPicture> m_pictures;
};
