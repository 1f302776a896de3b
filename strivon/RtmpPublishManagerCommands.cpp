// The JSON command channel: SendCmd, the command table and its handlers.
#include <algorithm>
#include <climits>
#include <cstdint>

#include <json/value.h>

#include "common/Log.h"
#include "strivon/JsonReply.h"
#include "strivon/RtmpPublishManager.h"
#include "strivon/SdkVersion.h"

namespace {

// A mistyped parameter is a params object of the wrong shape.
bool WrongParams(std::string* reason) {
  *reason = kReasonParamsNotObject;
  return false;
}

int ClampedSum(int a, int b) { return static_cast<int>(std::clamp<int64_t>(int64_t{a} + b, INT_MIN, INT_MAX)); }

}  // namespace

void RtmpPublishManager::BuildCommandTable() {
  m_commands = {
      {"GetSdkVersion", &RtmpPublishManager::CmdGetSdkVersion},
      {"SetShowSpectrum", &RtmpPublishManager::CmdSetShowSpectrum},
      {"SetAutoCtrlBitrate", &RtmpPublishManager::CmdSetAutoCtrlBitrate},
      {"GetPlayerList", &RtmpPublishManager::CmdGetPlayerList},
      {"ScreenCaptureSettings", &RtmpPublishManager::CmdScreenCaptureSettings},
      {"SetCaptureArea", &RtmpPublishManager::CmdSetCaptureArea},
      {"SetVBRQuality", &RtmpPublishManager::CmdSetVBRQuality},
      {"SetBframeCount", &RtmpPublishManager::CmdSetBframeCount},
      {"SetAbrQmin", &RtmpPublishManager::CmdSetAbrQmin},
      {"Set_rf_constant", &RtmpPublishManager::CmdSetRfConstant},
      {"changeToVexaFile", &RtmpPublishManager::CmdChangeToVexaFile},
  };
}

bool RtmpPublishManager::SendCmd(const char* json, char** reply) {
  if (!json || !reply || !*reply) return false;
  char* buffer = *reply;
  try {
    std::string text;
    ParseCmd(json, &text);
    CopyReplyToBuffer(text, buffer, kSendCmdReplyBufferSize);
  } catch (...) {
    // Only memory exhaustion gets here; the host still gets a valid reply.
    static const char kFallback[] = "{\"code\":1,\"data\":null}\n";
    std::copy(kFallback, kFallback + sizeof kFallback, buffer);
  }
  return true;
}

bool RtmpPublishManager::ParseCmd(const std::string& request, std::string* reply) {
  Json::Value root;
  if (!ReadJsonRequest(request, &root) || !root.isObject()) {
    *reply = FailureReply(kReasonNotJson);
    return false;
  }
  const Json::Value& cmd = root["cmd"];
  if (cmd.isNull() || (cmd.isString() && cmd.asString().empty())) {
    *reply = FailureReply(kReasonNoCmd);
    return false;
  }
  const Json::Value& params = root["params"];
  if (!params.isObject()) {
    *reply = FailureReply(kReasonParamsNotObject);
    return false;
  }
  // A cmd of another type is present but names no command.
  const auto command = cmd.isString() ? m_commands.find(cmd.asString()) : m_commands.end();
  if (command == m_commands.end()) {
    *reply = FailureReply(kReasonNotJson);
    return false;
  }
  Json::Value data;
  std::string reason;
  if (!(this->*(command->second))(params, &data, &reason)) {
    *reply = FailureReply(reason);
    // A mistyped parameter is a malformed request; "no version." is an answer.
    return reason != kReasonParamsNotObject;
  }
  *reply = WriteReply(0, data);
  return true;
}

bool RtmpPublishManager::CmdGetSdkVersion(const Json::Value&, Json::Value* data, std::string* reason) {
  const std::string version = m_factories.sdkVersion ? m_factories.sdkVersion() : GetSdkVersionString();
  if (version.empty()) {
    *reason = kReasonNoVersion;
    return false;
  }
  (*data)["version"] = version;
  return true;
}

bool RtmpPublishManager::CmdSetShowSpectrum(const Json::Value& params, Json::Value*, std::string* reason) {
  bool show = false;
  if (!ReadBoolParam(params, "bShow", &show)) return WrongParams(reason);
  m_showSpectrum = show;
  return true;
}

bool RtmpPublishManager::CmdSetAutoCtrlBitrate(const Json::Value& params, Json::Value*, std::string* reason) {
  bool automatic = false;
  if (!ReadBoolParam(params, "bAuto", &automatic)) return WrongParams(reason);
  // Kept: every encoder a reconnection makes starts with it too.
  m_autoBitrate = automatic ? 1 : 0;
  std::lock_guard<std::mutex> lock(m_encoderLock);
  if (m_encoder) m_encoder->SetAutoCtrlBitrate(automatic);
  return true;
}

bool RtmpPublishManager::CmdGetPlayerList(const Json::Value&, Json::Value* data, std::string*) {
  std::list<std::string> players;
  GetInstalledPlayers(&players);
  Json::Value list;  // null for an empty list
  for (const std::string& player : players) list.append(player);
  (*data)["player"] = list;
  return true;
}

bool RtmpPublishManager::CmdScreenCaptureSettings(const Json::Value& params, Json::Value*, std::string* reason) {
  bool followCursor = false;
  bool fullScreen = false;
  if (!ReadBoolParam(params, "isFollowCursor", &followCursor) || !ReadBoolParam(params, "isFullScreen", &fullScreen))
    return WrongParams(reason);
  m_followCursor = followCursor;
  m_fullScreen = fullScreen;
  return true;
}

bool RtmpPublishManager::CmdSetCaptureArea(const Json::Value& params, Json::Value*, std::string* reason) {
  int left = 0;
  int top = 0;
  if (!ReadIntParam(params, "left", &left) || !ReadIntParam(params, "top", &top)) return WrongParams(reason);
  RECT rect{};
  {
    std::lock_guard<std::mutex> lock(m_paramsLock);
    if (m_video.areaWidth == 0 || m_video.areaHeight == 0) {
      m_video.outputWidth = m_video.outputWidth / 8 * 8;
      m_video.areaWidth = m_video.outputWidth;
      m_video.areaHeight = m_video.outputHeight;
    }
    rect = RECT{left, top, ClampedSum(left, m_video.areaWidth), ClampedSum(top, m_video.areaHeight)};
  }
  std::lock_guard<std::mutex> lock(m_screenCaptureLock);
  if (m_screenCapture) m_screenCapture->SetCaptureRect(&rect);
  return true;
}

bool RtmpPublishManager::CmdSetVBRQuality(const Json::Value& params, Json::Value*, std::string* reason) {
  int quality = 0;
  if (!ReadIntParam(params, "Quality", &quality)) return WrongParams(reason);
  SetVBRQuality(quality);
  return true;
}

bool RtmpPublishManager::CmdSetBframeCount(const Json::Value& params, Json::Value*, std::string* reason) {
  int count = 0;
  if (!ReadIntParam(params, "BframeCount", &count)) return WrongParams(reason);
  if (!SetBframeCount(count)) {
    *reason = kReasonBframeCountOutOfRange;
    return false;
  }
  return true;
}

bool RtmpPublishManager::CmdSetAbrQmin(const Json::Value& params, Json::Value*, std::string* reason) {
  int qMin = 0;
  if (!ReadIntParam(params, "qMin", &qMin)) return WrongParams(reason);
  std::lock_guard<std::mutex> lock(m_paramsLock);
  m_encoderSettings.abrQmin = qMin;
  return true;
}

bool RtmpPublishManager::CmdSetRfConstant(const Json::Value& params, Json::Value*, std::string* reason) {
  int rfConstant = 0;
  int rfConstantMax = 0;
  if (!ReadIntParam(params, "rf_constant", &rfConstant) || !ReadIntParam(params, "rf_constant_max", &rfConstantMax))
    return WrongParams(reason);
  STRIVON_LOG(kLogInfo, "RtmpPublishManager::ParseCmd", "Set_rf_constant.%d:%d", rfConstant, rfConstantMax);
  // The values travel as their 32 bits read unsigned, as the encoder has
  // always received them.
  Set_rf_constant(static_cast<float>(static_cast<uint32_t>(rfConstant)),
                  static_cast<float>(static_cast<uint32_t>(rfConstantMax)));
  return true;
}

bool RtmpPublishManager::CmdChangeToVexaFile(const Json::Value& params, Json::Value*, std::string* reason) {
  int mode = 0;
  if (!ReadIntParam(params, "mode", &mode)) return WrongParams(reason);
  if (mode == 0) {
    changeToScreen(7, 0);
  } else if (mode == 1) {
    std::string path;
    if (!ReadTextParam(params, "pszFilePath", &path)) return WrongParams(reason);
    changeToVexaFile(path.c_str(), 25, 0);
  } else if (mode == 2) {
    int camId = 0;
    if (!ReadIntParam(params, "camId", &camId)) return WrongParams(reason);
    changeToCamera(camId, 15, 0);
  }
  return true;
}

void RtmpPublishManager::SetVBRQuality(int quality) {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  m_encoderSettings.vbrQuality = quality;
}

bool RtmpPublishManager::SetBframeCount(int count) {
  if (count < 0 || count > kMaxEncodableBframes) {
    STRIVON_LOG(kLogWarning, "RtmpPublishManager::SetBframeCount", "%d B-frames refused", count);
    return false;
  }
  std::lock_guard<std::mutex> lock(m_paramsLock);
  m_encoderSettings.bframeCount = count;
  return true;
}

void RtmpPublishManager::Set_rf_constant(float rf_constant, float rf_constant_max) {
  std::lock_guard<std::mutex> lock(m_paramsLock);
  m_encoderSettings.rfConstant = rf_constant;
  m_encoderSettings.rfConstantMax = rf_constant_max;
}
