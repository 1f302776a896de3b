// Capture-to-server latency of one publish run: decodes the pictures a
// RtmpTap kept, reads the screen counter each one shows, and subtracts the
// counter's paint time from the arrival time of the message that carried
// the picture.
#pragma once
#include <string>
#include <vector>

#include "bench/rtmp_tap.h"
#include "bench/screen_counter.h"

struct LatencyFigures {
  int decoded = 0;      // pictures ffmpeg decoded from the tap's file
  int unreadable = 0;   // pictures whose counter could not be read
  int repeated = 0;     // pictures showing the same counter as the one before
  std::vector<double> latenciesMs;
  double medianMs = 0;
  double p95Ms = 0;
  double maxMs = 0;
};

// False (with the reason in *error) when the file could not be decoded.
// Every decoded picture also gets a line in the CSV file csvPath.
bool MeasureLatency(const std::string& flvPath, int width, const std::vector<TappedPicture>& pictures,
                    const ScreenCounter& counter, const std::string& csvPath, LatencyFigures* figures,
                    std::string* error);

// The q-quantile (0..1) of values, by nearest rank; 0 for none.
double Quantile(std::vector<double> values, double q);
