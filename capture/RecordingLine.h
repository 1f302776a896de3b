// Which recording input a line selection of the microphone capture takes.
// The stereo mix is what the speakers play: on PulseAudio the monitor of an
// output ("Monitor of ..."), elsewhere an input called stereo mix. The
// microphone is any other input, preferably one whose name says so.
#pragma once
#include <string>
#include <vector>

enum class RecordingLine { kMicrophone, kStereoMix };

bool IsStereoMixInput(const std::wstring& name);
bool NamesMicrophone(const std::wstring& name);

// Index into names of the input to record for the line, or -1 when none
// fits. Among equals the earliest in enumeration order wins.
int ChooseRecordingInput(const std::vector<std::wstring>& names, RecordingLine line);
