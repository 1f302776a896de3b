// The project's side of the encoder benchmark, run in a child process of its
// own: raw BGR24 pictures read from a file go through the encoder object
// (frame pool, conversion, x264 with the encoder's settings) and the RTMP
// client's FLV packaging and chunking into a connected local socket whose
// other end is only drained. No network, no server.
#pragma once
#include <string>

struct ProjectEncodeJob {
  std::string inputPath;  // width x height x 3 bytes per picture, top-down B,G,R
  int width = 0;
  int height = 0;
  int fps = 25;
  int frames = 0;
  int kbps = 2500;
};

// The encoder settings record the job configures the encoder object with,
// for spelling the same settings for ffmpeg.
struct VideoEncoderSettings;
void DescribeProjectEncoderSettings(const ProjectEncodeJob& job, VideoEncoderSettings* record);

// 0 when every picture was encoded and sent; a message on stderr otherwise.
int RunProjectEncodeJob(const ProjectEncodeJob& job);
