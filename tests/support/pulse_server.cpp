#include "tests/support/pulse_server.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace test_support {
namespace {

void PutLe(std::string* out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

bool WriteToneWav(const std::string& path, double hz, int ms, int rate, int channels) {
  const uint32_t frames = static_cast<uint32_t>(static_cast<int64_t>(rate) * ms / 1000);
  const uint32_t dataBytes = frames * static_cast<uint32_t>(channels) * 2;
  std::string wav = "RIFF";
  PutLe(&wav, 36 + dataBytes, 4);
  wav += "WAVEfmt ";
  PutLe(&wav, 16, 4);
  PutLe(&wav, 1, 2);
  PutLe(&wav, static_cast<uint32_t>(channels), 2);
  PutLe(&wav, static_cast<uint32_t>(rate), 4);
  PutLe(&wav, static_cast<uint32_t>(rate * channels * 2), 4);
  PutLe(&wav, static_cast<uint32_t>(channels * 2), 2);
  PutLe(&wav, 16, 2);
  wav += "data";
  PutLe(&wav, dataBytes, 4);
  for (uint32_t f = 0; f < frames; ++f) {
    const auto s = static_cast<int16_t>(std::lround(0.5 * 32767 * std::sin(2 * M_PI * hz * f / rate)));
    for (int c = 0; c < channels; ++c) PutLe(&wav, static_cast<uint16_t>(s), 2);
  }
  return WriteFileBytes(path, wav);
}

PulseServer::PulseServer() : m_dir("strivon-pulse") {}

PulseServer::~PulseServer() { Stop(); }

std::string PulseServer::ServerAddress() const { return "unix:" + m_dir.File("rt/native"); }

std::vector<std::string> PulseServer::ClientEnvironment() const {
  return {"PULSE_SERVER=" + ServerAddress(), "PULSE_COOKIE=" + m_dir.File("home/cookie")};
}

void PulseServer::ExportToClients() const {
  setenv("PULSE_SERVER", ServerAddress().c_str(), 1);
  // The server takes anonymous clients; a private cookie path keeps clients
  // from touching the user's own PulseAudio settings.
  setenv("PULSE_COOKIE", m_dir.File("home/cookie").c_str(), 1);
}

bool PulseServer::Start(const std::string& sinkName, const std::string& sinkDescription) {
  if (m_running) return true;
  if (m_dir.path().empty()) return false;
  m_sinkName = sinkName;
  m_sinkDescription = sinkDescription;
  const std::string rt = m_dir.File("rt");
  const std::string home = m_dir.File("home");
  if (RunCommand({"mkdir", "-p", rt, home}).exitCode != 0) return false;
  std::vector<std::string> argv = {
      "env", "HOME=" + home, "XDG_RUNTIME_DIR=" + rt, "PULSE_RUNTIME_PATH=" + rt, "PULSE_STATE_PATH=" + home,
      "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm=yes",
      "--log-target=stderr",
      "-L", "module-native-protocol-unix socket=" + m_dir.File("rt/native") + " auth-anonymous=1",
      "-L", "module-null-sink sink_name=" + sinkName + " sink_properties='device.description=\"" +
                sinkDescription + "\"'"};
  const std::string logFile = m_dir.File("pulseaudio.log");
  if (!m_server.Start(argv, logFile)) {
    m_error = "pulseaudio could not be started";
    return false;
  }
  m_running = true;
  // Up in well under a second on an idle machine; a loaded one is given far
  // longer before it counts as a failure.
  constexpr int kStartSeconds = 90;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
  while (std::chrono::steady_clock::now() < deadline && m_server.Running()) {
    std::vector<std::string> probe = {"env"};
    for (const auto& e : ClientEnvironment()) probe.push_back(e);
    probe.insert(probe.end(), {"pactl", "list", "short", "sinks"});
    const CommandResult r = RunCommand(probe, 30000);
    if (r.exitCode == 0 && r.out.find(sinkName) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  m_error = std::string(m_server.Running() ? "PulseAudio did not answer within " + std::to_string(kStartSeconds) + " s"
                                           : "PulseAudio ended") +
            ": " + ReadFileBytes(logFile).substr(0, 2000);
  Stop();
  return false;
}

void PulseServer::Kill() {
  if (!m_running) return;
  m_player.Stop(SIGKILL, 2000);
  m_server.Stop(SIGKILL, 5000);
  m_running = false;
}

bool PulseServer::Restart() { return Start(m_sinkName, m_sinkDescription); }

void PulseServer::Stop() {
  if (!m_running) return;
  m_player.Stop(SIGTERM, 2000);
  m_server.Stop(SIGTERM, 5000);
  m_running = false;
}

CommandResult PulseServer::Pactl(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {"env"};
  for (const auto& e : ClientEnvironment()) argv.push_back(e);
  argv.push_back("pactl");
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, 10000);
}

bool PulseServer::PlayTone(double hz, int ms) {
  const std::string wav = m_dir.File("tone.wav");
  if (!WriteToneWav(wav, hz, ms)) return false;
  std::vector<std::string> argv = {"env"};
  for (const auto& e : ClientEnvironment()) argv.push_back(e);
  // A short player buffer: with paplay's default of two seconds the null
  // sink, and so its monitor, starts up to that late. Not too short either:
  // a player not run for longer than its buffer (a loaded machine, the
  // sanitizer builds side by side) leaves holes in the tone that the
  // microphone then truly records.
  argv.insert(argv.end(), {"paplay", "--latency-msec=200", "--device=" + m_sinkName, wav});
  return m_player.Start(argv, m_dir.File("paplay.log"));
}

bool PulseServer::WaitPlayback(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!m_player.Running()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace test_support
