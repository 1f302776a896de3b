// A private PulseAudio server for sound tests: pulseaudio in the foreground
// with its own runtime folder and unix socket (no default script, never exits
// on idle), a null sink whose monitor is a recording input, and helpers that
// point this process's clients at it and play sound into the sink with paplay.
#pragma once
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_support {

class PulseServer {
 public:
  PulseServer();
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  // Starts the server with a null sink named sinkName (description
  // sinkDescription) and waits until it answers, as long as a busy machine
  // needs. False when it did not come up, with why in error().
  bool Start(const std::string& sinkName = "strivon_null", const std::string& sinkDescription = "Strivon Null");
  void Stop();
  // The server dies as in a crash (SIGKILL), its player with it.
  void Kill();
  // The server again, on the same socket with the same sink (after Kill).
  bool Restart();

  // "unix:<socket>", the value for PULSE_SERVER.
  std::string ServerAddress() const;
  // Sets PULSE_SERVER (and a private HOME-free cookie setting) in this process
  // so that libpulse clients made afterwards talk to this server.
  void ExportToClients() const;
  // The environment entries a child process needs ("PULSE_SERVER=...").
  std::vector<std::string> ClientEnvironment() const;

  const std::string& SinkName() const { return m_sinkName; }
  // The recording input that hears the sink, as PulseAudio describes it.
  std::string MonitorDescription() const { return "Monitor of " + m_sinkDescription; }

  const std::string& error() const { return m_error; }

  // Runs pactl with these arguments against this server.
  CommandResult Pactl(const std::vector<std::string>& args) const;

  // Plays ms of a sine tone at hz (44100 Hz stereo, 16-bit, amplitude 0.5)
  // into the sink with paplay, in the background; WaitPlayback waits for it.
  bool PlayTone(double hz, int ms);
  bool WaitPlayback(int timeoutMs);

 private:
  TempDir m_dir;
  ChildProcess m_server;
  ChildProcess m_player;
  std::string m_sinkName;
  std::string m_sinkDescription;
  bool m_running = false;
  std::string m_error;
};

// Writes a RIFF/WAVE file of a sine tone (16-bit PCM).
bool WriteToneWav(const std::string& path, double hz, int ms, int rate = 44100, int channels = 2);

}  // namespace test_support
