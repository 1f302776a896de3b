#include "bench/project_encode_job.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "RtmpLib/jni/Rtmp.h"
#include "encodemediathensendthroughrtmp/EncoderMediaThenSendThroughRtmp.h"

namespace {

// Counts the access units the client has finished sending.
class SentPictures {
 public:
  void Add() {
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_pictures;
    m_changed.notify_all();
  }
  // False when no picture went out for idleMs.
  bool WaitFor(int pictures, int idleMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    int seen = m_pictures;
    while (m_pictures < pictures) {
      if (!m_changed.wait_for(lock, std::chrono::milliseconds(idleMs), [&] { return m_pictures != seen; })) {
        return false;
      }
      seen = m_pictures;
    }
    return true;
  }
  int Count() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pictures;
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  int m_pictures = 0;
};

// The manager's part: nothing to do with the events.
class IgnoredEvents : public IEncoderMediaThenSendThroughRtmpNotify {
 public:
  void OnEncoderMediaThenSendThroughRtmpDead() override {}
  void OnEncoderMediaThenSendThroughRtmpConnected() override {}
  void OnEncoderMediaThenSendThroughRtmpPublishFaild() override {}
  void OnEncoderMediaThenSendThroughRtmpStatus(MediaInfo*) override {}
  void OnEncoderMediaThenSendThroughRtmpStatistics(MediaInfo*) override {}
  void OnEncoderMediaThenSendThroughRtmpMediaData(const char*, int, double, int) override {}
};

// The real RTMP client on an already connected socket: Connect only reports
// the publish start the server would have sent.
class AdoptedSocketTransport : public IRtmpLib {
 public:
  AdoptedSocketTransport(IRtmpLib* client, IRtmpLibNotify* notify, SentPictures* sent)
      : m_client(client), m_notify(notify), m_sent(sent) {}

  bool Connect(const char*) override {
    m_notify->OnRtmpConnected();
    return true;
  }
  bool SetAudioParams(int channels, int rate) override { return m_client->SetAudioParams(channels, rate); }
  bool SendAAC(const unsigned char* frame, int length, unsigned ts) override {
    return m_client->SendAAC(frame, length, ts);
  }
  bool SetVideoParams(int w, int h, int fps, int bps) override { return m_client->SetVideoParams(w, h, fps, bps); }
  bool SendVideoH264(const unsigned char* unit, int length, unsigned ts, int compositionMs) override {
    const bool sent = m_client->SendVideoH264(unit, length, ts, compositionMs);
    if (sent) m_sent->Add();
    return sent;
  }
  void GetStatistics(MediaInfo* out) override { m_client->GetStatistics(out); }
  bool SetUdpParam1(int v) override { return m_client->SetUdpParam1(v); }
  bool SetUdpParam2(int v) override { return m_client->SetUdpParam2(v); }
  bool SetParam(int v) override { return m_client->SetParam(v); }
  bool SendString2(const char* m, const char* t) override { return m_client->SendString2(m, t); }
  bool SetMediaInfo(MediaInfo* info) override { return m_client->SetMediaInfo(info); }
  bool SetSessionInfo(const char* a, const char* b, const char* c) override {
    return m_client->SetSessionInfo(a, b, c);
  }
  void Release() override {
    m_client->Release();
    delete this;
  }
  void CloseSocket() override { m_client->CloseSocket(); }
  bool PostMediaInfo(MediaInfo info) override { return m_client->PostMediaInfo(std::move(info)); }
  bool SendPing() override { return m_client->SendPing(); }
  const char* GetServerIP() override { return m_client->GetServerIP(); }

 private:
  IRtmpLib* m_client;
  IRtmpLibNotify* m_notify;
  SentPictures* m_sent;
};

bool ReadWhole(int fd, uint8_t* out, size_t n) {
  while (n > 0) {
    const ssize_t got = read(fd, out, n);
    if (got <= 0) return false;
    out += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

void DescribeProjectEncoderSettings(const ProjectEncodeJob& job, VideoEncoderSettings* record) {
  // What SetBframeCount(0), SetVideoBitrate, SetFrameRateAndGop and
  // SetVideoFormat below leave in the encoder's record.
  record->width = job.width;
  record->height = job.height;
  record->frameRate = job.fps;
  record->keyInterval = 2 * job.fps;
  record->bframeCount = 0;
  record->rateControlMode = 1;
  record->bitrateKbps = job.kbps;
}

int RunProjectEncodeJob(const ProjectEncodeJob& job) {
  const int input = open(job.inputPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (input < 0) {
    std::perror(job.inputPath.c_str());
    return 2;
  }
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    std::perror("socketpair");
    return 2;
  }
  std::thread drain([fd = pair[1]] {
    std::vector<char> sink(1 << 16);
    while (read(fd, sink.data(), sink.size()) > 0) {
    }
  });

  SentPictures sent;
  IgnoredEvents events;
  auto factory = [&](IRtmpLibNotify* notify) -> IRtmpLib* {
    IRtmpLib* client = CreateRtmpLib(notify);
    if (auto* rtmp = dynamic_cast<CRtmp*>(client)) {
      rtmp->AdoptSocketForTest(pair[0]);
      // A real publish leaves the client at its large chunk size; staying at
      // the initial 128 bytes would charge ours about a hundred sends (and as
      // many wake-ups of the drain) per picture that a live stream never makes.
      rtmp->SwitchToPublishChunkSizeForTest();
    }
    return new AdoptedSocketTransport(client, notify, &sent);
  };
  auto* encoder = new CEncoderMediaThenSendThroughRtmp(&events, factory);
  const unsigned bps = static_cast<unsigned>(job.kbps) * 1000;
  encoder->SetBframeCount(0);
  encoder->SetVideoBitrate(bps, 0);
  encoder->SetFrameRateAndGop(job.fps, 2 * job.fps);
  encoder->Connect("rtmp://bench.invalid/live/bench");
  const bool formatted = encoder->SetVideoFormat(job.width, job.height, 0, job.fps, bps, 0);

  const size_t pictureBytes = static_cast<size_t>(job.width) * job.height * 3;
  std::vector<uint8_t> picture(pictureBytes);
  int fed = 0;
  for (; formatted && fed < job.frames; ++fed) {
    if (!ReadWhole(input, picture.data(), pictureBytes)) break;
    const unsigned stamp = static_cast<unsigned>(static_cast<int64_t>(fed) * 1000 / job.fps);
    // A live capture hands over a picture every 40 ms and the encoder keeps
    // up, so each picture is converted and encoded before the next one comes,
    // as in ffmpeg's own loop. The feeder does the same: the next picture
    // only after the last one went out (waiting, not polling, so nothing is
    // charged to the encoder). Running ahead would model a backlog, with
    // every picture's buffer gone cold before x264 reads it. A picture the
    // pool refuses is offered again after a moment.
    if (!sent.WaitFor(fed, 20000)) break;
    while (!encoder->SendRawVideo(picture.data(), static_cast<unsigned>(pictureBytes), stamp)) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  const bool complete = sent.WaitFor(fed, 20000);
  encoder->Release();
  drain.join();
  close(pair[1]);
  close(input);
  if (!formatted || fed != job.frames || !complete) {
    std::fprintf(stderr, "project job: %d of %d pictures fed, %d sent\n", fed, job.frames, sent.Count());
    return 1;
  }
  return 0;
}
