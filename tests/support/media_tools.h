// ffmpeg, ffprobe and flvmeta for tests: make input media, probe what a
// server recorded, decode a file completely and check its FLV framing to
// find damage.
#pragma once
#include <json/json.h>

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace test_support {

// ffmpeg with "-hide_banner -nostdin -y" in front of args.
CommandResult RunFfmpeg(const std::vector<std::string>& args, int timeoutMs = 120000);

// ffprobe -v error -of json <extra...> <path>; parsed output in *out.
// False (with the reason in *error, if given) when ffprobe failed or printed
// something that is not JSON.
bool FfprobeJson(const std::string& path, const std::vector<std::string>& extra, Json::Value* out,
                 std::string* error = nullptr);

// The streams of a file ("-show_streams"): codec_type, codec_name, width...
bool ProbeStreams(const std::string& path, Json::Value* streams, std::string* error = nullptr);

struct ProbedPacket {
  std::string codecType;  // "video" or "audio"
  int streamIndex = 0;
  long long ptsMs = -1;   // -1 when absent
  long long dtsMs = -1;
  bool keyFrame = false;
};
// Every packet of a file ("-show_packets"), time stamps in milliseconds.
bool ProbePackets(const std::string& path, std::vector<ProbedPacket>* packets, std::string* error = nullptr);

// What "ffmpeg -v error -i path -fps_mode passthrough -enc_time_base -1
// -f null -" printed: empty for a clean file (stamps that repeat or go back
// still show).
std::string DecodeErrors(const std::string& path);

// What "flvmeta --check --level=error" printed about a file it finds
// against the FLV format's rules; empty for a valid file.
std::string FlvCheckErrors(const std::string& path);

// Parses JSON text; false on a syntax error.
bool ParseJson(const std::string& text, Json::Value* out);

}  // namespace test_support
