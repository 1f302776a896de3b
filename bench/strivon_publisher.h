// The library's side of the publish benchmark. It runs in a child process of
// its own (the benchmark program started again with kStrivonPublisherFlag),
// so that the process's CPU time is the publish manager's alone, measured
// exactly as ffmpeg's is. The child publishes the screen and the chosen
// microphone until it receives SIGTERM or SIGINT, then stops and exits.
#pragma once
#include <string>
#include <vector>

inline constexpr const char* kStrivonPublisherFlag = "--strivon-publisher";

struct StrivonPublishOptions {
  std::string url;  // rtmp://host:port
  std::string app;
  std::string stream;
  std::string micDescription;
  int width = 1280;
  int height = 720;
  int fps = 25;
  int kbps = 2500;
  int keyInterval = 50;
};

// The command line that starts the child from program self.
std::vector<std::string> StrivonPublisherCommand(const std::string& self, const StrivonPublishOptions& options);
// The child's main, given what follows kStrivonPublisherFlag; its exit code.
int RunStrivonPublisher(int argc, char** argv);
