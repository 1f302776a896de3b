// The record that travels between the RTMP client, the encoder and the
// publish manager: media parameters downward (type -1), status words (type 0)
// and send statistics (type 2) upward. The meaning of value1..value12 depends
// on the type (see the comments at the fields).
#pragma once
#include <string>

struct MediaInfo {
  static constexpr int kMediaParams = -1;
  static constexpr int kStatusText = 0;
  static constexpr int kSendStatistics = 2;
  static constexpr int kDefaultColorSpace = 4103;

  int type = kMediaParams;
  // type -1: audio bit rate | type 2: video bytes sent
  int value1 = 0;
  // type -1: bits per sample | type 2: audio bytes sent
  int value2 = 0;
  // type -1: channels
  int value3 = 0;
  // type -1: sample rate (Hz)
  int value4 = 0;
  // type -1: picture width | type 2: last ping reply delay (ms)
  int value5 = 0;
  // type -1: picture height | type 2: video frames sent
  int value6 = 0;
  // type -1: video bit rate | type 2: audio frames sent
  int value7 = 0;
  // type -1: colour-space word of the video input
  int value8 = 0;
  // type -1: frame rate
  int value9 = 0;
  int value10 = 0;
  int value11 = 0;
  int value12 = 0;
  std::string text1;  // the status word of a type 0 record
  std::string text2;
  std::string text3;
  bool flag1 = false;
  bool flag2 = false;
};
