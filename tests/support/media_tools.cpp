#include "tests/support/media_tools.h"

#include <cmath>
#include <memory>
#include <sstream>

namespace test_support {
namespace {

long long SecondsTextToMs(const Json::Value& value) {
  if (!value.isString()) return -1;
  try {
    return std::llround(std::stod(value.asString()) * 1000.0);
  } catch (...) {
    return -1;
  }
}

}  // namespace

bool ParseJson(const std::string& text, Json::Value* out) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(text.data(), text.data() + text.size(), out, &errors);
}

CommandResult RunFfmpeg(const std::vector<std::string>& args, int timeoutMs) {
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-nostdin", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, timeoutMs);
}

bool FfprobeJson(const std::string& path, const std::vector<std::string>& extra, Json::Value* out,
                 std::string* error) {
  std::vector<std::string> argv = {"ffprobe", "-v", "error", "-of", "json"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  argv.push_back(path);
  const CommandResult result = RunCommand(argv);
  if (result.exitCode != 0) {
    if (error) *error = "ffprobe failed: " + result.err;
    return false;
  }
  if (!ParseJson(result.out, out)) {
    if (error) *error = "ffprobe printed no JSON: " + result.out;
    return false;
  }
  return true;
}

bool ProbeStreams(const std::string& path, Json::Value* streams, std::string* error) {
  Json::Value root;
  if (!FfprobeJson(path, {"-show_streams"}, &root, error)) return false;
  *streams = root.isObject() ? root.get("streams", Json::Value(Json::arrayValue)) : Json::Value(Json::arrayValue);
  return streams->isArray();
}

bool ProbePackets(const std::string& path, std::vector<ProbedPacket>* packets, std::string* error) {
  Json::Value root;
  if (!FfprobeJson(path, {"-show_packets"}, &root, error)) return false;
  packets->clear();
  if (!root.isObject() || !root.get("packets", Json::Value()).isArray()) {
    if (error) *error = "ffprobe printed no packet list";
    return false;
  }
  for (const auto& p : root["packets"]) {
    if (!p.isObject()) continue;
    ProbedPacket packet;
    packet.codecType = p.get("codec_type", "").isString() ? p["codec_type"].asString() : "";
    packet.streamIndex = p.get("stream_index", 0).isInt() ? p["stream_index"].asInt() : -1;
    packet.ptsMs = SecondsTextToMs(p["pts_time"]);
    packet.dtsMs = SecondsTextToMs(p["dts_time"]);
    packet.keyFrame = p.get("flags", "").isString() && p["flags"].asString().find('K') != std::string::npos;
    packets->push_back(packet);
  }
  return true;
}

std::string DecodeErrors(const std::string& path) {
  // Pictures keep their own stamps, in the file's own millisecond time base:
  // a live source's spacing jitters, which ffmpeg's default constant-rate
  // output (time base 1/frame rate) would round into two pictures on one
  // slot and report, though any player plays it. Stamps that repeat or go
  // back in the file itself are still reported.
  const CommandResult result = RunFfmpeg(
      {"-v", "error", "-i", path, "-fps_mode", "passthrough", "-enc_time_base", "-1", "-f", "null", "-"});
  std::string text = result.out + result.err;
  if (result.exitCode != 0 && text.empty()) text = "ffmpeg failed without a message";
  return text;
}

std::string FlvCheckErrors(const std::string& path) {
  const CommandResult result = RunCommand({"flvmeta", "--check", "--level=error", path});
  if (result.exitCode == 0) return "";
  std::string text = result.out + result.err;
  if (text.empty()) text = "flvmeta failed without a message";
  return text;
}

}  // namespace test_support
