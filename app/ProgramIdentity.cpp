#include "app/ProgramIdentity.h"

#include <climits>
#include <unistd.h>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION ""
#endif

std::string ReadProgramPath() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer));
  // A full buffer may be a cut path; a wrong dump path is worse than none.
  if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer)) return {};
  return std::string(buffer, static_cast<size_t>(length));
}

namespace {

size_t FileNameStart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string DumpPathForProgram(const std::string& programPath) {
  const size_t nameStart = FileNameStart(programPath);
  const size_t dot = programPath.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) return programPath + ".dmp";
  return programPath.substr(0, dot) + ".dmp";
}

std::string ExeBaseNameOf(const std::string& programPath) {
  std::string name = programPath.substr(FileNameStart(programPath));
  static const std::string kExe = ".exe";
  if (name.size() > kExe.size() && name.compare(name.size() - kExe.size(), kExe.size(), kExe) == 0)
    name.resize(name.size() - kExe.size());
  return name;
}

std::string GetExeBaseName() { return ExeBaseNameOf(ReadProgramPath()); }

bool ParseVersionText(const std::string& text, uint16_t* major, uint16_t* minor, uint16_t* third,
                      uint16_t* fourth) {
  uint16_t* parts[4] = {major, minor, third, fourth};
  uint32_t values[4] = {0, 0, 0, 0};
  size_t count = 0;
  size_t digits = 0;
  bool valid = !text.empty();
  for (size_t i = 0; valid && i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      valid = digits > 0 && (i == text.size() || count + 1 < 4);
      ++count;
      digits = 0;
    } else if (text[i] >= '0' && text[i] <= '9' && digits < 5) {
      values[count] = values[count] * 10 + static_cast<uint32_t>(text[i] - '0');
      valid = values[count] <= 0xFFFF;
      ++digits;
    } else {
      valid = false;
    }
  }
  for (size_t i = 0; i < 4; ++i) *parts[i] = valid ? static_cast<uint16_t>(values[i]) : 0;
  return valid;
}

bool GetModuleVersion(uint16_t* major, uint16_t* minor, uint16_t* third, uint16_t* fourth) {
  return ParseVersionText(VELMORA_VERSION, major, minor, third, fourth);
}
