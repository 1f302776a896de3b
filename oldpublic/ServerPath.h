// Splits an "http://host:port/path?query" text the way the scheduler's URLs
// are written: the host part must carry an explicit port, and the query is
// also offered as its "&"-separated parameters. Shared by the HTTP client
// and the scheduler.
#pragma once
#include <string>
#include <vector>

struct ServerPath {
  std::string host;
  std::string port;
  std::string path;
  std::string query;
  std::vector<std::string> params;  // the query split at each "&"
};

// False (nothing usable) unless the text starts with "http"/"HTTP" (after
// blanks) and its host part, at most 99 characters, holds "host:port".
bool PraseServerPath(const std::string& url, ServerPath* out);
