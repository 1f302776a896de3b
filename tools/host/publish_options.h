// The command line of the host's publish mode and the choices made from it:
// the user's one RTMP address split into the server, application and stream
// the library takes separately, and the microphone picked by name.
#pragma once
#include <string>
#include <vector>

struct PublishOptions {
  std::string server;  // scheme://host[:port]
  std::string app;
  std::string stream;
  int seconds = 0;  // 0: until SIGINT or SIGTERM
  int width = 1280;
  int height = 720;
  int fps = 25;
  std::string mic;   // empty: the first input; none with a file
  std::string file;  // empty: the screen; else its pictures and its sound
  std::string library = "libStrivon.so";
  bool verbose = false;  // status texts as the library sends them, object addresses included
};

inline constexpr const char* kPublishUsage =
    "usage: strivon_host publish --url rtmp://host[:port]/app/stream [--seconds N] [--size WxH]\n"
    "                            [--fps N] [--mic NAME] [--file MEDIA] [--lib path/to/libStrivon.so]\n"
    "                            [--verbose]\n";

// args are the words after "publish". False with *error set for anything
// missing, unknown or out of range.
bool ParsePublishOptions(const std::vector<std::string>& args, PublishOptions* options, std::string* error);

// scheme://host[:port]/app/stream -> "scheme://host[:port]", "app", "stream"
// (the stream may itself hold further "/" and a query).
bool SplitPublishAddress(const std::string& url, std::string* server, std::string* app, std::string* stream);

// Whether the media file can be published: false, with the reason (for
// "cannot open FILE: REASON"), when it is missing, unreadable or not a
// regular file (a FIFO would hold the library's open until someone writes).
bool CheckMediaFile(const std::string& path, std::string* reason);

// The position of the name equal to wanted, else of the first name that
// contains it; an empty wanted picks the first name. -1 when none fits.
int ChooseMicrophone(const std::vector<std::string>& names, const std::string& wanted);
