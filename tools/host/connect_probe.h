// Why the publish server cannot be reached, in the words a person reads:
// the sample host tries one TCP connection of its own to the server's host
// and port when the library reports a failed connect, since the library's
// status words do not say why.
#pragma once
#include <string>

// "rtmp://host[:port]" -> "host:port" (1935 when no port is given; the
// brackets of an IPv6 address are kept).
std::string ServerHostPort(const std::string& server);

// "connection refused", "no answer within 2 s", "cannot resolve host", ...;
// empty when a connection is made (the failure then lies beyond TCP).
std::string WhyUnreachable(const std::string& server, int timeoutMs);
