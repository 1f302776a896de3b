// What the login service's JSON reply means. Pure interpretation: no files,
// no windows; the login window acts on the result on the GUI thread.
#pragma once
#include <string>

#include "app/PublishParams.h"

enum class LoginOutcome {
  kFrozen,          // Flag 104: the account is frozen
  kBadCredentials,  // Flag 102 or 103: wrong user name or password
  kFailed,          // anything else that is not a usable answer
  kSuccess,         // Flag 100 with readable fields
  kMalformed,       // Flag 100 whose fields could not be read
};

// Reply values as they go into the publish parameters; defaults are those
// of an absent key.
struct LoginFields {
  std::string chatUrl, uin, chatTabName, pubUrlPub, domain, publishRoomInfo, strKey, pubWay, stream;
  int adSampleRate = 44100, adBitperSample = 16, adBitRate = 32000;
  int vdFps = 10, vfFps = 25, vcFps = 15;
  int vdBitRate = 500000, vfBitRate = 500000, vcBitRate = 500000;
  int vdIntervalSecond = 3, bFrameCount = 0;
  std::string maxOutResolution;
  int vbrQuality = 0, vbrFQuality = 0, cQuality = 0;
};

struct LoginReply {
  LoginOutcome outcome = LoginOutcome::kFailed;
  LoginFields fields;  // meaningful for kSuccess only
};

// Never throws. A reply that is not a JSON object is kFailed.
LoginReply InterpretLoginReply(const std::string& text);

// Writes the fields into the parameters in the service's order; a missing
// or unusable largest output size keeps the cache file's fallback 1280*720,
// and every number out of the range the library accepts (sample rate, frame
// rates, B-frames, largest size: PublishParamRanges.h) takes the value an
// absent key gives, with a line on the program's standard error.
void ApplyLoginFields(const LoginFields& fields, PublishParamValues& params);

// The presenter's message for a refused or failed reply (empty for success).
const wchar_t* LoginOutcomeText(LoginOutcome outcome);
