#include "tests/publish/publish_support.h"

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <X11/Xlib.h>

#include "tests/capture/audio_analysis.h"

namespace publish_test {

bool StatusLog::OnMessage(const char*) { return true; }

bool StatusLog::OnSendStatistics(const PublishSendStatistics* statistics) {
  if (!statistics || statistics->audioFramesSent == 0) return true;
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_soundSent) {
    m_soundSent = true;
    m_soundSentAt = Clock::now();
    m_changed.notify_all();
  }
  return true;
}

bool StatusLog::WaitForSound(int timeoutMs, Clock::time_point* at) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_soundSent; })) return false;
  if (at) *at = m_soundSentAt;
  return true;
}

bool StatusLog::OnStatus(int level, const char* text) {
  const std::string line = text ? text : "";
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_entries.push_back({level, line, Clock::now()});
  }
  m_changed.notify_all();
  if (onStatus) onStatus(level, line);
  return true;
}

int StatusLog::Count(const std::string& part, int level) const {
  std::lock_guard<std::mutex> lock(m_lock);
  int n = 0;
  for (const auto& e : m_entries) n += (level < 0 || e.level == level) && e.text.find(part) != std::string::npos;
  return n;
}

bool StatusLog::WaitFor(const std::string& part, int count, int timeoutMs, Clock::time_point* at, int level) {
  std::unique_lock<std::mutex> lock(m_lock);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    int n = 0;
    for (const auto& e : m_entries) {
      if ((level >= 0 && e.level != level) || e.text.find(part) == std::string::npos) continue;
      if (++n == count) {
        if (at) *at = e.at;
        return true;
      }
    }
    return false;
  });
}

std::vector<StatusLog::Entry> StatusLog::Entries() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_entries;
}

std::string StatusLog::Dump() const {
  std::string out;
  for (const auto& e : Entries()) out += std::to_string(e.level) + " " + e.text + "\n";
  return out;
}

std::vector<EncoderLog::Unit> EncoderLog::Units() {
  std::lock_guard<std::mutex> l(lock);
  return units;
}

int EncoderLog::Created() {
  std::lock_guard<std::mutex> l(lock);
  return static_cast<int>(notifies.size());
}

IEncoderMediaThenSendThroughRtmpNotify* EncoderLog::LastNotify() {
  std::lock_guard<std::mutex> l(lock);
  return notifies.empty() ? nullptr : notifies.back();
}

bool EncoderLog::WaitCreated(int count, int timeoutMs) {
  std::unique_lock<std::mutex> l(lock);
  return changed.wait_for(l, std::chrono::milliseconds(timeoutMs),
                          [&] { return static_cast<int>(notifies.size()) >= count; });
}

bool EncoderLog::WaitReleased(int count, int timeoutMs) {
  std::unique_lock<std::mutex> l(lock);
  return changed.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return released >= count; });
}

bool EncoderLog::WaitConnectCalls(int count, int timeoutMs) {
  std::unique_lock<std::mutex> l(lock);
  return changed.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return connectCalls >= count; });
}

bool EncoderLog::WaitUnits(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> l(lock);
  return changed.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return units.size() >= count; });
}

namespace {

// Forwards to the real encoder (when there is one) and notes every unit.
class ObservedEncoder final : public IEncoderMediaThenSendThroughRtmp {
 public:
  ObservedEncoder(IEncoderMediaThenSendThroughRtmp* inner, std::shared_ptr<EncoderLog> log, int index)
      : m_inner(inner), m_log(std::move(log)), m_index(index) {}

  bool SendRawAudio(const unsigned char* pcm, unsigned length, unsigned ts) override {
    Note(false, ts);
    if (pcm) {
      std::lock_guard<std::mutex> l(m_log->lock);
      if (m_log->sound.size() < (4u << 20)) m_log->sound.insert(m_log->sound.end(), pcm, pcm + length);
    }
    return m_inner ? m_inner->SendRawAudio(pcm, length, ts) : true;
  }
  bool SendRawVideo(const unsigned char* rgb, unsigned length, unsigned ts) override {
    Note(true, ts);
    if (m_inner) return m_inner->SendRawVideo(rgb, length, ts);
    std::lock_guard<std::mutex> l(m_log->lock);
    if (m_log->busyPictures > 0) {
      --m_log->busyPictures;
      return false;
    }
    m_log->takenPictures.push_back(ts);
    return true;
  }
  bool Connect(const char* url) override {
    {
      std::lock_guard<std::mutex> l(m_log->lock);
      ++m_log->connectCalls;
    }
    m_log->changed.notify_all();
    return m_inner ? m_inner->Connect(url) : m_log->connectResult;
  }
  void Release() override {
    if (m_inner) m_inner->Release();
    {
      std::lock_guard<std::mutex> l(m_log->lock);
      ++m_log->released;
    }
    m_log->changed.notify_all();
    delete this;
  }
  void SetAudioBitrate(unsigned bps) override { if (m_inner) m_inner->SetAudioBitrate(bps); }
  bool SetAudioFormat(int c, int r, int b) override { return m_inner ? m_inner->SetAudioFormat(c, r, b) : true; }
  void SetVideoBitrate(unsigned bps, int q) override { if (m_inner) m_inner->SetVideoBitrate(bps, q); }
  void SetFrameRateAndGop(int fps, int key) override { if (m_inner) m_inner->SetFrameRateAndGop(fps, key); }
  bool SetVideoFormat(int w, int h, int cs, int fps, unsigned bps, int q) override {
    return m_inner ? m_inner->SetVideoFormat(w, h, cs, fps, bps, q) : m_log->videoFormatResult;
  }
  void SetBframeCount(int n) override { if (m_inner) m_inner->SetBframeCount(n); }
  void SetAbrQmin(int q) override { if (m_inner) m_inner->SetAbrQmin(q); }
  void SetRfConstant(float a, float b) override { if (m_inner) m_inner->SetRfConstant(a, b); }
  void ReservedNoOperation() override {}
  void SetLowAudioBitrate(bool low) override { if (m_inner) m_inner->SetLowAudioBitrate(low); }
  void SetStaticScreenMode(bool on) override { if (m_inner) m_inner->SetStaticScreenMode(on); }
  void GetStatistics(MediaInfo* out) override { if (m_inner) m_inner->GetStatistics(out); }
  bool SetUdpParam1(int v) override { return m_inner ? m_inner->SetUdpParam1(v) : true; }
  bool SetUdpParam2(int v) override { return m_inner ? m_inner->SetUdpParam2(v) : true; }
  bool SetParam(int v) override { return m_inner ? m_inner->SetParam(v) : true; }
  bool SendString2(const char* m, const char* t) override { return m_inner ? m_inner->SendString2(m, t) : true; }
  bool SetMediaInfo(MediaInfo* info) override { return m_inner ? m_inner->SetMediaInfo(info) : true; }
  bool SetSessionInfo(const char* a, const char* b, const char* c) override {
    return m_inner ? m_inner->SetSessionInfo(a, b, c) : true;
  }
  bool PostMediaInfo(MediaInfo info) override { return m_inner ? m_inner->PostMediaInfo(info) : true; }
  void Disconnect() override { if (m_inner) m_inner->Disconnect(); }
  void QueuePing() override { if (m_inner) m_inner->QueuePing(); }
  void SetAutoCtrlBitrate(bool on) override {
    {
      std::lock_guard<std::mutex> l(m_log->lock);
      m_log->autoBitrate.emplace_back(m_index, on);
    }
    if (m_inner) m_inner->SetAutoCtrlBitrate(on);
  }
  void ReopenVideoEncoder() override { if (m_inner) m_inner->ReopenVideoEncoder(); }
  const char* GetServerIP() override { return m_inner ? m_inner->GetServerIP() : nullptr; }
  void RequestKeyFrame() override { if (m_inner) m_inner->RequestKeyFrame(); }

 private:
  void Note(bool video, unsigned ts) {
    {
      std::lock_guard<std::mutex> l(m_log->lock);
      m_log->units.push_back({video, ts, Clock::now()});
    }
    m_log->changed.notify_all();
  }
  IEncoderMediaThenSendThroughRtmp* m_inner;
  std::shared_ptr<EncoderLog> m_log;
  const int m_index;
};

}  // namespace

void ObserveEncoders(ManagerFactories* factories, std::shared_ptr<EncoderLog> log, bool real) {
  auto inner = real ? factories->createEncoder : nullptr;
  factories->createEncoder = [inner, log](IEncoderMediaThenSendThroughRtmpNotify* notify)
      -> IEncoderMediaThenSendThroughRtmp* {
    IEncoderMediaThenSendThroughRtmp* made = inner ? inner(notify) : nullptr;
    if (inner && !made) return nullptr;
    ObservedEncoder* encoder = nullptr;
    {
      std::lock_guard<std::mutex> l(log->lock);
      log->notifies.push_back(notify);
      encoder = new ObservedEncoder(made, log, static_cast<int>(log->notifies.size()));
    }
    log->changed.notify_all();
    return encoder;
  };
}

bool PublishPeers::Start(const test_support::NginxRtmpOptions& options) {
  if (!xvfb.Start(screen)) {
    error = "Xvfb did not start";
    return false;
  }
  xvfb.ExportDisplay();
  if (!pulse.Start()) {
    error = "PulseAudio did not start";
    return false;
  }
  pulse.ExportToClients();
  if (!nginx.Start(options)) {
    error = nginx.error();
    return false;
  }
  return true;
}

int CameraIndex(IRtmpPublishManager* manager, const std::wstring& name) {
  const wchar_t** names = nullptr;
  unsigned count = 0;
  manager->GetCamList(&names, &count);
  for (unsigned i = 0; i < count; ++i)
    if (name == names[i]) return static_cast<int>(i);
  return -1;
}

int PublishPeers::MonitorIndex(IRtmpPublishManager* manager) const {
  const wchar_t** names = nullptr;
  unsigned count = 0;
  manager->GetMicList(&names, &count);
  for (unsigned i = 0; i < count; ++i)
    if (RtmpPublishManager::WideToAnsiString(names[i]) == pulse.MonitorDescription()) return static_cast<int>(i);
  return -1;
}

bool PublishPeers::Configure(IRtmpPublishManager* manager, const std::string& stream, int rate, int channels,
                             int width, int height, int fps) const {
  const int mic = MonitorIndex(manager);
  if (mic < 0) return false;
  manager->SetMic(mic);
  manager->SetPublishAudioPara(rate, channels, 16, 64000, 100, false);
  manager->SetPublishVideoPara(width, height, fps, 800000, 0, fps * 2);
  manager->SetPublishUrl(("rtmp://127.0.0.1:" + std::to_string(nginx.port())).c_str(), "live", stream.c_str());
  return true;
}

ScreenPattern::ScreenPattern(int width, int height) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return;
  m_display = display;
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  const int screenWidth = DisplayWidth(display, screen), screenHeight = DisplayHeight(display, screen);
  m_pixmap = XCreatePixmap(display, root, screenWidth, screenHeight, DefaultDepth(display, screen));
  GC gc = XCreateGC(display, m_pixmap, 0, nullptr);
  const auto fill = [&](unsigned long rgb, int x, int y, int w, int h) {
    XSetForeground(display, gc, rgb);
    XFillRectangle(display, m_pixmap, gc, x, y, w, h);
  };
  fill(0x0000ff, 0, 0, screenWidth, screenHeight);
  fill(0xff0000, 0, 0, width / 2, height / 2);
  fill(0x00ff00, width / 2, height / 2, width - width / 2, height - height / 2);
  XFreeGC(display, gc);
  XSetWindowBackgroundPixmap(display, root, m_pixmap);
  XClearWindow(display, root);
  XSync(display, False);
  m_painted = true;
}

ScreenPattern::~ScreenPattern() {
  if (!m_display) return;
  Display* display = static_cast<Display*>(m_display);
  if (m_pixmap) XFreePixmap(display, m_pixmap);
  XCloseDisplay(display);
}

bool DecodeSound(const std::string& media, const test_support::TempDir& dir, int rate, int channels, int skipMs,
                 std::vector<uint8_t>* pcm) {
  const std::string out = dir.File("sound-" + std::to_string(rate) + "-" + std::to_string(channels) + ".raw");
  const auto result =
      test_support::RunFfmpeg({"-v", "error", "-ss", std::to_string(skipMs / 1000.0), "-i", media, "-vn", "-f",
                               "s16le", "-ac", std::to_string(channels), "-ar", std::to_string(rate), out});
  if (result.exitCode != 0) return false;
  const std::string bytes = test_support::ReadFileBytes(out);
  pcm->assign(bytes.begin(), bytes.end());
  return !pcm->empty();
}

bool DecodePicture(const std::string& media, const test_support::TempDir& dir, int atMs, int width, int height,
                   std::vector<uint8_t>* rgb) {
  const std::string out = dir.File("picture-" + std::to_string(atMs) + ".rgb");
  const auto result = test_support::RunFfmpeg({"-v", "error", "-ss", std::to_string(atMs / 1000.0), "-i", media,
                                               "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", out});
  if (result.exitCode != 0) return false;
  const std::string bytes = test_support::ReadFileBytes(out);
  rgb->assign(bytes.begin(), bytes.end());
  return rgb->size() == static_cast<size_t>(width) * height * 3;
}

Rgb MeanColour(const std::vector<uint8_t>& rgb, int width, int x, int y, int w, int h) {
  double sum[3] = {0, 0, 0};
  for (int row = y; row < y + h; ++row)
    for (int col = x; col < x + w; ++col)
      for (int c = 0; c < 3; ++c) sum[c] += rgb[(static_cast<size_t>(row) * width + col) * 3 + c];
  const double n = static_cast<double>(w) * h;
  return {sum[0] / n, sum[1] / n, sum[2] / n};
}

double DominantHz(const std::vector<uint8_t>& pcm, int rate, int channels) {
  return capture_test::DominantFrequency(pcm, rate, channels);
}

long long AudibleFromMs(const std::vector<uint8_t>& pcm, int rate, int channels) {
  const size_t frameBytes = 2 * static_cast<size_t>(channels);
  for (size_t at = 0; at + frameBytes <= pcm.size(); at += frameBytes) {
    int16_t sample;
    std::memcpy(&sample, &pcm[at], 2);
    if (std::abs(sample) > 300) return static_cast<long long>(at / frameBytes * 1000 / static_cast<size_t>(rate));
  }
  return -1;
}

double RmsDb(const std::vector<uint8_t>& pcm, int channels) {
  const double rms = capture_test::Rms(pcm, channels);
  return rms > 0 ? 20.0 * std::log10(rms / 32768.0) : -200.0;
}

std::string BackwardStamps(const std::vector<test_support::ProbedPacket>& packets) {
  std::map<int, long long> last;
  for (const auto& p : packets) {
    auto it = last.find(p.streamIndex);
    if (it != last.end() && p.dtsMs < it->second)
      return p.codecType + " dts " + std::to_string(p.dtsMs) + " after " + std::to_string(it->second);
    last[p.streamIndex] = p.dtsMs;
  }
  return "";
}

bool EncoderLog::WaitFirstSound(int timeoutMs, Clock::time_point* at) {
  std::unique_lock<std::mutex> guard(lock);
  const Unit* first = nullptr;
  const bool found = changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
    for (const Unit& unit : units) {
      if (!unit.video) {
        first = &unit;
        return true;
      }
    }
    return false;
  });
  if (found && at) *at = first->at;
  return found;
}

std::vector<std::string> Recordings(const std::string& folder) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir))
      if (std::string(entry->d_name).find(".flv") != std::string::npos) files.push_back(folder + "/" + entry->d_name);
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace publish_test
