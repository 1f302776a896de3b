// demo_account_service --user NAME --password TEXT --rtmp rtmp://host:port/app/stream
//                      [--port N] [--mode answer|404|stall] [--max-size W*H]
// A login service for one demo account on 127.0.0.1. With port 0 (the
// default) it takes a free port. Once it accepts connections it prints
// "port N" on a line of its own. It stops on SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/demo_account_service/demo_account.h"
#include "tools/demo_account_service/loopback_http.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

int Usage(const char* problem) {
  std::fprintf(stderr,
               "demo_account_service: %s\n"
               "usage: demo_account_service --user NAME --password TEXT --rtmp rtmp://host:port/app/stream\n"
               "                            [--port N] [--mode answer|404|stall] [--max-size W*H]\n",
               problem);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  DemoAccount account;
  int port = 0;
  ServeMode mode = ServeMode::kAnswer;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage(("missing value after " + option).c_str());
    const std::string value = argv[++i];
    if (option == "--user") {
      account.user = value;
    } else if (option == "--password") {
      account.password = value;
    } else if (option == "--rtmp") {
      account.rtmpUrl = value;
    } else if (option == "--max-size") {
      account.maxOutResolution = value;
    } else if (option == "--port") {
      char* end = nullptr;
      const long number = std::strtol(value.c_str(), &end, 10);
      if (*end != '\0' || number < 0 || number > 65535) return Usage("--port takes 0 to 65535");
      port = static_cast<int>(number);
    } else if (option == "--mode") {
      if (value == "answer") mode = ServeMode::kAnswer;
      else if (value == "404") mode = ServeMode::kNotFound;
      else if (value == "stall") mode = ServeMode::kStall;
      else return Usage("--mode takes answer, 404 or stall");
    } else {
      return Usage(("unknown option " + option).c_str());
    }
  }
  if (account.user.empty()) return Usage("--user is needed");
  PublishAddressFields address;
  if (!SplitRtmpUrl(account.rtmpUrl, &address))
    return Usage("--rtmp needs rtmp://host[:port]/application/stream with a dotted host such as 127.0.0.1");

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  LoopbackHttp http;
  std::string error;
  if (!http.Listen(port, &error)) {
    std::fprintf(stderr, "demo_account_service: cannot listen on 127.0.0.1:%d: %s\n", port, error.c_str());
    return 1;
  }
  std::printf("port %d\n", http.port());
  std::fflush(stdout);
  http.Serve(mode, [&](const std::string& target) { return AnswerLogin(account, target); }, g_stop);
  return 0;
}
