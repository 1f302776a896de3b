#include "publish_options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseInt(const std::string& text, int low, int high, int* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int>(parsed);
  return true;
}

// 4:2:0 pictures need even sides.
bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  int w = 0;
  int h = 0;
  if (!ParseInt(text.substr(0, x), 16, 7680, &w) || !ParseInt(text.substr(x + 1), 16, 4320, &h)) return false;
  if (w % 2 != 0 || h % 2 != 0) return false;
  *width = w;
  *height = h;
  return true;
}

}  // namespace

bool SplitPublishAddress(const std::string& url, std::string* server, std::string* app, std::string* stream) {
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0) return false;
  const size_t hostStart = schemeEnd + 3;
  const size_t appStart = url.find('/', hostStart);
  if (appStart == std::string::npos || appStart == hostStart) return false;
  const size_t streamStart = url.find('/', appStart + 1);
  if (streamStart == std::string::npos || streamStart == appStart + 1 || streamStart + 1 >= url.size()) return false;
  *server = url.substr(0, appStart);
  *app = url.substr(appStart + 1, streamStart - appStart - 1);
  *stream = url.substr(streamStart + 1);
  return true;
}

bool ParsePublishOptions(const std::vector<std::string>& args, PublishOptions* options, std::string* error) {
  bool haveUrl = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--verbose") {
      options->verbose = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = "missing value after " + name;
      return false;
    }
    const std::string& value = args[++i];
    bool valid = true;
    if (name == "--url") {
      valid = haveUrl = SplitPublishAddress(value, &options->server, &options->app, &options->stream);
    } else if (name == "--seconds") {
      valid = ParseInt(value, 0, 24 * 3600, &options->seconds);
    } else if (name == "--size") {
      valid = ParseSize(value, &options->width, &options->height);
    } else if (name == "--fps") {
      valid = ParseInt(value, 1, 60, &options->fps);
    } else if (name == "--mic") {
      options->mic = value;
      valid = !value.empty();
    } else if (name == "--file") {
      options->file = value;
      valid = !value.empty();
    } else if (name == "--lib") {
      options->library = value;
      valid = !value.empty();
    } else {
      *error = "unknown option " + name;
      return false;
    }
    if (!valid) {
      *error = "bad value for " + name + ": " + value;
      return false;
    }
  }
  if (!haveUrl) {
    *error = "--url rtmp://host[:port]/app/stream is required";
    return false;
  }
  if (!options->file.empty() && !options->mic.empty()) {
    *error = "--mic and --file: a media file is published with its own sound";
    return false;
  }
  return true;
}

int ChooseMicrophone(const std::vector<std::string>& names, const std::string& wanted) {
  if (wanted.empty()) return names.empty() ? -1 : 0;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == wanted) return static_cast<int>(i);
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i].find(wanted) != std::string::npos) return static_cast<int>(i);
  return -1;
}

bool CheckMediaFile(const std::string& path, std::string* reason) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    *reason = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *reason = "not a regular file";
    return false;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  close(fd);
  return true;
}
