#include "capture/RecordingLine.h"

namespace {

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// ASCII letters in any case, every other character exactly.
bool ContainsWord(const std::wstring& name, const std::wstring& word) {
  if (name.empty() || word.empty() || word.size() > name.size()) return false;
  for (size_t at = 0; at + word.size() <= name.size(); ++at) {
    size_t i = 0;
    while (i < word.size() && AsciiLower(name[at + i]) == AsciiLower(word[i])) ++i;
    if (i == word.size()) return true;
  }
  return false;
}

}  // namespace

bool IsStereoMixInput(const std::wstring& name) {
  // "Stereo" alone would take every "... Analog Stereo" microphone; only the
  // whole phrase names the mix.
  return name.rfind(L"Monitor of ", 0) == 0 || ContainsWord(name, L"立体声混音") ||
         ContainsWord(name, L"stereo mix");
}

bool NamesMicrophone(const std::wstring& name) { return ContainsWord(name, L"麦克") || ContainsWord(name, L"mic"); }

int ChooseRecordingInput(const std::vector<std::wstring>& names, RecordingLine line) {
  int fallback = -1;
  for (size_t i = 0; i < names.size(); ++i) {
    const bool mix = IsStereoMixInput(names[i]);
    if (line == RecordingLine::kStereoMix) {
      if (mix) return static_cast<int>(i);
      continue;
    }
    if (mix) continue;
    if (NamesMicrophone(names[i])) return static_cast<int>(i);
    if (fallback < 0) fallback = static_cast<int>(i);
  }
  return fallback;
}
