// The program's INI files (the per-account publish parameters, HtmlURL.ini,
// DUMP.ini), read and written with the rules of the Windows private-profile
// functions that the files were designed for:
// - section and key names match without regard to ASCII case, and blanks
//   around names and values do not count;
// - a value wrapped in one pair of double quotes loses them;
// - lines starting with ';' are comments; only the first section of a name
//   and the first key of a name in it count;
// - a write replaces the key's value where it stands, adds a missing key at
//   the end of its section and a missing section at the end of the file, and
//   keeps every other line as it was.
// Values never carry a line break into the file (each CR or LF becomes a
// blank), and names that could start a new key or section are refused, so
// text from outside cannot add keys or sections. Files are replaced
// atomically.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/FileAccess.h"

// An INI text in memory, kept line by line so writes keep what they do not
// touch. The sections and keys are indexed once when the text is parsed, so
// a lookup costs the same whatever else the file holds; runs of other lines
// (blank, comments, stray text) are kept as one block each, so a file of
// millions of blank lines costs little more than its own bytes.
class IniDocument {
 public:
  static IniDocument Parse(std::string_view text);

  // The value of the key (trimmed and unquoted), or nothing when the section
  // or the key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  // False, and nothing changed, when the section or key name is refused.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  std::string Serialize() const;

 private:
  struct Block {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    // The line without its line end; for kOther the run's lines joined by "\n".
    std::string text;
    bool hasContent = false;  // kOther: some line of the run is more than blanks
  };
  // The first section of a name: its header, the block after its last
  // block, and the first key of each name in it.
  struct SectionIndex {
    size_t header = 0, end = 0;
    std::unordered_map<std::string, size_t> keys;
  };
  void Reindex();
  size_t InsertionPoint(const SectionIndex& section);

  std::vector<Block> blocks_;
  std::unordered_map<std::string, SectionIndex> sections_;  // by folded name
  std::string lineEnd_ = "\n";  // CRLF when the file used it
  bool byteOrderMark_ = false;
};

// Reads an INI file whole and parses it. The file's own result: kRead (doc
// holds it), kMissing, kTooLarge or kFailed (doc is empty).
ReadFileResult ReadIniFile(const std::string& path, IniDocument* doc);

// Names that can be written: not empty after trimming, no CR, LF, '=' or ']',
// and not starting with ';' or '['.
bool IsValidIniName(std::string_view name);

// GetPrivateProfileString: the default when the file, section or key is missing.
std::string IniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view defaultValue);
// GetPrivateProfileInt: the leading decimal number of the value (an optional
// sign, then digits; 0 when there are none, clamped to int); the default when
// the key is missing or its value is empty.
int IniGetInt(const std::string& path, std::string_view section, std::string_view key, int defaultValue);
int IniValueToInt(std::string_view value);

// WritePrivateProfileString for one key. A new file gets newFileMode; an
// existing file keeps its permissions.
bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, mode_t newFileMode = 0644);
// Several keys of one section in one atomic replacement, in the given order.
// The file always ends with the given permissions (for files holding secrets).
bool IniWriteStrings(const std::string& path, std::string_view section,
                     const std::vector<std::pair<std::string, std::string>>& keyValues, mode_t mode);
