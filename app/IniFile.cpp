#include "app/IniFile.h"

#include <mutex>
#include <sys/stat.h>

#include "app/FileAccess.h"
#include "app/LeadingInt.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// What one line of the file is; names and values are trimmed.
struct LineInfo {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;
  std::string_view value;
};

LineInfo Classify(std::string_view line) {
  LineInfo info;
  const std::string_view text = Trim(line);
  if (text.empty() || text.front() == ';') return info;
  if (text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos) return info;  // not a header: ignored like any stray line
    info.kind = LineInfo::kSection;
    info.name = Trim(text.substr(1, close - 1));
    return info;
  }
  const auto eq = text.find('=');
  if (eq == std::string_view::npos) return info;
  info.kind = LineInfo::kKey;
  info.name = Trim(text.substr(0, eq));
  info.value = Trim(text.substr(eq + 1));
  return info;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

// The text to put after "=": one line, read back by Find as exactly the value
// given (quotes keep blanks at the ends and an outer pair of quotes).
std::string EncodeValue(std::string_view value) {
  std::string out(value);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  const bool needsQuotes = !out.empty() && (IsBlank(out.front()) || IsBlank(out.back()) ||
                                            (out.size() >= 2 && out.front() == '"' && out.back() == '"'));
  return needsQuotes ? "\"" + out + "\"" : out;
}

// Lines [begin, end) of the first section named so; begin is its header.
struct SectionRange {
  size_t begin = 0, end = 0;
  bool found = false;
};

SectionRange FindSection(const std::vector<std::string>& lines, std::string_view section) {
  SectionRange range;
  for (size_t i = 0; i < lines.size(); ++i) {
    const LineInfo info = Classify(lines[i]);
    if (info.kind != LineInfo::kSection) continue;
    if (range.found) {
      range.end = i;
      return range;
    }
    if (SameName(info.name, section)) {
      range.found = true;
      range.begin = i;
    }
  }
  range.end = lines.size();
  return range;
}

// Serialises read-modify-write cycles of this process, so two threads writing
// keys of one file cannot lose each other's change.
std::mutex& WriteLock() {
  static std::mutex lock;
  return lock;
}

bool LoadForUpdate(const std::string& path, IniDocument* doc, bool* existed) {
  std::string bytes;
  switch (ReadRegularFile(path, &bytes)) {
    case ReadFileResult::kRead:
      *existed = true;
      *doc = IniDocument::Parse(bytes);
      return true;
    case ReadFileResult::kMissing:
      *existed = false;
      *doc = IniDocument();
      return true;
    case ReadFileResult::kFailed:
      break;  // rewriting a file we cannot read would drop its other content
  }
  return false;
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument doc;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    doc.byteOrderMark_ = true;
    text.remove_prefix(3);
  }
  const auto firstEnd = text.find('\n');
  if (firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r') doc.lineEnd_ = "\r\n";
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    doc.lines_.emplace_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return doc;
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const SectionRange range = FindSection(lines_, section);
  if (!range.found) return std::nullopt;
  for (size_t i = range.begin + 1; i < range.end; ++i) {
    const LineInfo info = Classify(lines_[i]);
    if (info.kind == LineInfo::kKey && SameName(info.name, key)) return std::string(Unquote(info.value));
  }
  return std::nullopt;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (!IsValidIniName(section) || !IsValidIniName(key)) return false;
  const std::string encoded = EncodeValue(value);
  const SectionRange range = FindSection(lines_, section);
  if (!range.found) {
    lines_.push_back("[" + std::string(Trim(section)) + "]");
    lines_.push_back(std::string(Trim(key)) + "=" + encoded);
    return true;
  }
  size_t lastContent = range.begin;
  for (size_t i = range.begin + 1; i < range.end; ++i) {
    const LineInfo info = Classify(lines_[i]);
    if (info.kind == LineInfo::kKey && SameName(info.name, key)) {
      lines_[i] = std::string(info.name) + "=" + encoded;
      return true;
    }
    if (!Trim(lines_[i]).empty()) lastContent = i;
  }
  // After the section's last line with content, so blank lines before the next section stay there.
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent + 1), std::string(Trim(key)) + "=" + encoded);
  return true;
}

std::string IniDocument::Serialize() const {
  std::string out = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
  for (const std::string& line : lines_) {
    out += line;
    out += lineEnd_;
  }
  return out;
}

bool IsValidIniName(std::string_view name) {
  const std::string_view trimmed = Trim(name);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return false;
  return name.find_first_of("\r\n=]") == std::string_view::npos;
}

int IniValueToInt(std::string_view value) { return ParseLeadingInt(value); }

std::string IniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view defaultValue) {
  std::string bytes;
  if (ReadRegularFile(path, &bytes) != ReadFileResult::kRead) return std::string(defaultValue);
  const auto value = IniDocument::Parse(bytes).Find(section, key);
  return value ? *value : std::string(defaultValue);
}

int IniGetInt(const std::string& path, std::string_view section, std::string_view key, int defaultValue) {
  std::string bytes;
  if (ReadRegularFile(path, &bytes) != ReadFileResult::kRead) return defaultValue;
  const auto value = IniDocument::Parse(bytes).Find(section, key);
  return value && !value->empty() ? IniValueToInt(*value) : defaultValue;
}

bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, mode_t newFileMode) {
  std::lock_guard<std::mutex> hold(WriteLock());
  IniDocument doc;
  bool existed = false;
  if (!LoadForUpdate(path, &doc, &existed) || !doc.Set(section, key, value)) return false;
  mode_t mode = newFileMode;
  struct stat st {};
  if (existed && ::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  return WriteFileAtomically(path, doc.Serialize(), mode);
}

bool IniWriteStrings(const std::string& path, std::string_view section,
                     const std::vector<std::pair<std::string, std::string>>& keyValues, mode_t mode) {
  std::lock_guard<std::mutex> hold(WriteLock());
  IniDocument doc;
  bool existed = false;
  if (!LoadForUpdate(path, &doc, &existed)) return false;
  for (const auto& [key, value] : keyValues)
    if (!doc.Set(section, key, value)) return false;
  return WriteFileAtomically(path, doc.Serialize(), mode);
}
