// Log lines of the RTMP client: every line names "rtmp" as its source so the
// library log reads the same whichever file of the client wrote it.
#pragma once
#include <string>

#include "common/Log.h"

#define RTMP_LOG(level, function, ...)                                          \
  do {                                                                          \
    std::string rtmp_log_text_;                                                 \
    WriteLog((level), "rtmp", __LINE__, (function),                             \
             FormatString(&rtmp_log_text_, __VA_ARGS__));                       \
  } while (0)
