// What makes the ffmpeg side of the encoder benchmark the same x264 job: the
// -x264-params text spelled from the parameter set the encoder itself opens
// x264 with, and the options line x264 writes into its stream, so a run can
// show that both sides really used the same settings.
#pragma once
#include <string>

struct VideoEncoderSettings;

// The parameter set OpenVideoEncoder would open x264 with for this record,
// spelled as ffmpeg's -x264-params value.
std::string X264ParamsFor(const VideoEncoderSettings& record);

// The options line of the x264 encoder that OpenVideoEncoder opens for the
// record (one picture is encoded to get it); empty when it did not open.
std::string ProjectX264Options(VideoEncoderSettings* record);

// The text after "options: " in x264's SEI message found in bytes; empty
// when there is none.
std::string FindX264Options(const std::string& bytes);

// Option names whose values differ between two options lines, as
// "name=ours/theirs" joined by spaces; empty when they agree.
std::string DifferingX264Options(const std::string& ours, const std::string& theirs);
