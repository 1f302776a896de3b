// The ranges the library and its encoders accept for the publish parameters
// that reach the program from outside (the login service's reply, the
// account's cached INI file). A value out of its range is replaced by the
// fallback the caller gives (the default of an absent key) and reported, so
// no service or edited file can hand the library a rate, size or count it
// cannot encode. Used by the login reply and by CPublishParams::LoadIni.
#pragma once
#include <string>
#include <vector>

#include "app/PublishParams.h"

// The largest output size the encoder is set up for.
inline constexpr int kMaxOutputWidth = 1920;
inline constexpr int kMaxOutputHeight = 1080;

struct ParamRangeFix {
  std::string key;  // the INI key name
  long long given = 0;
  int used = 0;
};

// Replaces every value out of range by the same field of fallbacks, and
// returns what was replaced; each replacement is also written to the
// program's standard error, naming source ("login reply", a file path).
std::vector<ParamRangeFix> KeepPublishParamsInRange(PublishParamValues* values, const PublishParamValues& fallbacks,
                                                    const std::string& source);
