#include "app/IniFile.h"

#include <algorithm>
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

// Section and key names as the index keeps them: trimmed, ASCII upper case
// folded, as the private-profile functions compare them.
std::string Fold(std::string_view name) {
  name = Trim(name);
  std::string folded(name);
  for (char& c : folded) c = Lower(c);
  return folded;
}

// Serialises read-modify-write cycles of this process, so two threads writing
// keys of one file cannot lose each other's change.
std::mutex& WriteLock() {
  static std::mutex lock;
  return lock;
}

bool LoadForUpdate(const std::string& path, IniDocument* doc, bool* existed) {
  switch (ReadIniFile(path, doc)) {
    case ReadFileResult::kRead:
      *existed = true;
      return true;
    case ReadFileResult::kMissing:
      *existed = false;
      return true;
    case ReadFileResult::kTooLarge:
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
    // Empty lines joining a run are taken all at once: files padded with
    // millions of them parse at the speed of a copy.
    if (text.front() == '\n' && !doc.blocks_.empty() && doc.blocks_.back().kind == Block::kOther) {
      const size_t empty = std::min(text.find_first_not_of('\n'), text.size());
      doc.blocks_.back().text.append(empty, '\n');
      text.remove_prefix(empty);
      continue;
    }
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const LineInfo info = Classify(line);
    if (info.kind != LineInfo::kOther) {
      doc.blocks_.push_back(Block{info.kind == LineInfo::kSection ? Block::kSection : Block::kKey, std::string(line)});
      continue;
    }
    const bool content = !Trim(line).empty();
    if (doc.blocks_.empty() || doc.blocks_.back().kind != Block::kOther) {
      doc.blocks_.push_back(Block{Block::kOther, std::string(line), content});
    } else {
      Block& run = doc.blocks_.back();
      run.text += '\n';
      run.text.append(line);
      run.hasContent = run.hasContent || content;
    }
  }
  doc.Reindex();
  return doc;
}

void IniDocument::Reindex() {
  sections_.clear();
  SectionIndex* current = nullptr;  // null inside a later section of a name already seen
  SectionIndex* open = nullptr;     // the first-of-its-name section still waiting for its end
  for (size_t i = 0; i < blocks_.size(); ++i) {
    const Block& block = blocks_[i];
    if (block.kind == Block::kSection) {
      if (open) open->end = i;
      const auto [it, added] = sections_.try_emplace(Fold(Classify(block.text).name));
      current = added ? &it->second : nullptr;
      open = current;
      if (current) current->header = i;
    } else if (block.kind == Block::kKey && current) {
      current->keys.try_emplace(Fold(Classify(block.text).name), i);
    }
  }
  if (open) open->end = blocks_.size();
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const auto s = sections_.find(Fold(section));
  if (s == sections_.end()) return std::nullopt;
  const auto k = s->second.keys.find(Fold(key));
  if (k == s->second.keys.end()) return std::nullopt;
  return std::string(Unquote(Classify(blocks_[k->second].text).value));
}

// After the section's last line with content, so blank lines before the next
// section stay there; a run ending in blank lines is split for that.
size_t IniDocument::InsertionPoint(const SectionIndex& section) {
  for (size_t i = section.end; i-- > section.header + 1;) {
    Block& block = blocks_[i];
    if (block.kind != Block::kOther) return i + 1;
    if (!block.hasContent) continue;
    size_t cut = block.text.size();
    for (;;) {
      const size_t lineStart = block.text.rfind('\n', cut == 0 ? 0 : cut - 1);
      const size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
      if (!Trim(std::string_view(block.text).substr(from, cut - from)).empty()) break;
      cut = lineStart;  // a content line exists above, so never npos here
    }
    if (cut == block.text.size()) return i + 1;
    Block tail{Block::kOther, block.text.substr(cut + 1), false};
    block.text.resize(cut);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(i + 1), std::move(tail));
    return i + 1;
  }
  return section.header + 1;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  if (!IsValidIniName(section) || !IsValidIniName(key)) return false;
  const std::string encoded = EncodeValue(value);
  const auto s = sections_.find(Fold(section));
  if (s == sections_.end()) {
    blocks_.push_back(Block{Block::kSection, "[" + std::string(Trim(section)) + "]"});
    blocks_.push_back(Block{Block::kKey, std::string(Trim(key)) + "=" + encoded});
    Reindex();
    return true;
  }
  const auto k = s->second.keys.find(Fold(key));
  if (k != s->second.keys.end()) {
    std::string& line = blocks_[k->second].text;
    line = std::string(Classify(line).name) + "=" + encoded;
    return true;
  }
  const size_t at = InsertionPoint(s->second);
  blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(at),
                 Block{Block::kKey, std::string(Trim(key)) + "=" + encoded});
  Reindex();
  return true;
}

std::string IniDocument::Serialize() const {
  std::string out = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
  for (const Block& block : blocks_) {
    if (lineEnd_ == "\n") {
      out += block.text;
    } else {
      for (char c : block.text) {
        if (c == '\n')
          out += lineEnd_;
        else
          out += c;
      }
    }
    out += lineEnd_;
  }
  return out;
}

ReadFileResult ReadIniFile(const std::string& path, IniDocument* doc) {
  std::string bytes;
  const ReadFileResult result = ReadRegularFile(path, &bytes);
  *doc = result == ReadFileResult::kRead ? IniDocument::Parse(bytes) : IniDocument();
  return result;
}

bool IsValidIniName(std::string_view name) {
  const std::string_view trimmed = Trim(name);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return false;
  return name.find_first_of("\r\n=]") == std::string_view::npos;
}

int IniValueToInt(std::string_view value) { return ParseLeadingInt(value); }

std::string IniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view defaultValue) {
  IniDocument doc;
  if (ReadIniFile(path, &doc) != ReadFileResult::kRead) return std::string(defaultValue);
  const auto value = doc.Find(section, key);
  return value ? *value : std::string(defaultValue);
}

int IniGetInt(const std::string& path, std::string_view section, std::string_view key, int defaultValue) {
  IniDocument doc;
  if (ReadIniFile(path, &doc) != ReadFileResult::kRead) return defaultValue;
  const auto value = doc.Find(section, key);
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
