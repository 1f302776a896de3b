#include "bench/x264_option_line.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

#include "encodemediathensendthroughrtmp/VideoEncoder.h"

namespace {

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

std::map<std::string, std::string> SplitOptions(const std::string& line) {
  std::map<std::string, std::string> out;
  std::istringstream in(line);
  std::string item;
  while (in >> item) {
    const size_t eq = item.find('=');
    out[item.substr(0, eq)] = eq == std::string::npos ? std::string() : item.substr(eq + 1);
  }
  return out;
}

}  // namespace

std::string X264ParamsFor(const VideoEncoderSettings& record) {
  // The same steps as OpenVideoEncoder, short of opening the encoder.
  x264_param_t p;
  x264_param_default(&p);
  x264_param_default_preset(&p, "medium", "film");
  x264_param_apply_profile(&p, "high");
  ApplyVideoEncoderSettings(&record, &p);
  x264_param_apply_fastfirstpass(&p);

  std::string s;
  auto add = [&s](const std::string& name, const std::string& value) {
    s += (s.empty() ? "" : ":") + name + "=" + value;
  };
  add("keyint", std::to_string(p.i_keyint_max));
  add("min-keyint", std::to_string(p.i_keyint_min));
  add("scenecut", std::to_string(p.i_scenecut_threshold));
  add("bframes", std::to_string(p.i_bframe));
  add("ref", std::to_string(p.i_frame_reference));
  if (p.i_bframe > 0) {
    add("b-bias", std::to_string(p.i_bframe_bias));
    add("b-adapt", std::to_string(p.i_bframe_adaptive));
    add("b-pyramid", std::to_string(p.i_bframe_pyramid));
  }
  if (p.b_constrained_intra) add("constrained-intra", "1");
  if (p.rc.i_rc_method == X264_RC_CRF) {
    add("crf", Format("%g", p.rc.f_rf_constant));
    if (p.rc.f_rf_constant_max > 0) add("crf-max", Format("%g", p.rc.f_rf_constant_max));
  } else if (p.rc.i_rc_method == X264_RC_CQP) {
    add("qp", std::to_string(p.rc.i_qp_constant));
  } else {
    add("bitrate", std::to_string(p.rc.i_bitrate));
  }
  add("qpmin", std::to_string(p.rc.i_qp_min));
  add("qpmax", std::to_string(p.rc.i_qp_max));
  add("ratetol", Format("%g", p.rc.f_rate_tolerance));
  if (p.rc.i_vbv_max_bitrate > 0) {
    add("vbv-maxrate", std::to_string(p.rc.i_vbv_max_bitrate));
    add("vbv-bufsize", std::to_string(p.rc.i_vbv_buffer_size));
  }
  add("rc-lookahead", std::to_string(p.rc.i_lookahead));
  add("sync-lookahead", std::to_string(p.i_sync_lookahead));
  add("level", std::to_string(p.i_level_idc));
  add("force-cfr", p.b_vfr_input ? "0" : "1");
  add("non-deterministic", p.b_deterministic ? "0" : "1");
  add("threads", std::to_string(p.i_threads));
  return s;
}

std::string ProjectX264Options(VideoEncoderSettings* record) {
  std::vector<uint8_t> picture(static_cast<size_t>(record->width) * record->height * 3 / 2, 128);
  std::vector<uint8_t> output(static_cast<size_t>(record->width) * record->height * 4);
  record->output = output.data();
  record->outputCapacity = static_cast<int>(output.size());
  record->input = picture.data();
  record->inputLength = static_cast<int>(picture.size());
  std::string options;
  if (OpenVideoEncoder(record) == 0 && EncodeVideoFrame(record) == 0) {
    options = FindX264Options(std::string(reinterpret_cast<const char*>(output.data()),
                                          static_cast<size_t>(record->outputLength)));
  }
  CloseVideoEncoder(record);
  record->output = nullptr;
  record->input = nullptr;
  return options;
}

std::string FindX264Options(const std::string& bytes) {
  const std::string key = "options: ";
  const size_t at = bytes.find(key);
  if (at == std::string::npos) return {};
  size_t end = at + key.size();
  while (end < bytes.size() && bytes[end] >= 0x20 && bytes[end] < 0x7f) ++end;
  return bytes.substr(at + key.size(), end - at - key.size());
}

std::string DifferingX264Options(const std::string& ours, const std::string& theirs) {
  const auto a = SplitOptions(ours);
  const auto b = SplitOptions(theirs);
  std::string out;
  for (const auto& [name, value] : a) {
    const auto other = b.find(name);
    const std::string theirValue = other == b.end() ? "(none)" : other->second;
    if (theirValue != value) out += (out.empty() ? "" : " ") + name + "=" + value + "/" + theirValue;
  }
  for (const auto& [name, value] : b) {
    if (!a.count(name)) out += (out.empty() ? "" : " ") + name + "=(none)/" + value;
  }
  return out;
}
