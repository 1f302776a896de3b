// The INI reader and writer: private-profile lookups, writes that keep the
// rest of the file, values that round-trip, text that tries to smuggle in
// keys or sections, and files far larger than settings ever are.
#include <chrono>
#include <climits>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/FileAccess.h"
#include "app/IniFile.h"
#include "app/PublishParams.h"
#include "tests/support/process_memory.h"
#include "tests/support/temp_dir.h"

using namespace test_support;

namespace {

TEST(IniFile, ReadsFollowPrivateProfileRules) {
  TempDir dir("ini");
  const std::string path = dir.File("a.ini");
  ASSERT_TRUE(WriteFileBytes(path, "[other]\nstream=wrong\n  [ videoparam ]  \r\n  STREAM  =  \"  q  \"  \n"
                                   "plain = a b   \n;Quality=9\nnum= 42abc\nneg=-17\nempty=\nbad=abc\nbig=99999999999\n"
                                   "[VideoParam]\nlater=second section of the same name\n"));
  EXPECT_EQ(IniGetString(path, "VideoParam", "stream", "d"), "  q  ");
  EXPECT_EQ(IniGetString(path, "VIDEOPARAM", "Plain", "d"), "a b");
  for (const char* missing : {"Quality", "later", "nosuch"})
    EXPECT_EQ(IniGetString(path, "VideoParam", missing, "d"), "d");
  EXPECT_EQ(IniGetString(dir.File("none.ini"), "VideoParam", "stream", "d"), "d");
  const std::pair<const char*, int> ints[] = {{"num", 42},      {"neg", -17},      {"empty", 5},
                                              {"bad", 0}, {"big", INT_MAX}, {"Quality", 5}};
  for (const auto& [key, value] : ints) EXPECT_EQ(IniGetInt(path, "VideoParam", key, 5), value) << key;
}

TEST(IniFile, WritesChangeOnlyTheirKeyAtomically) {
  TempDir dir("ini");
  const std::string path = dir.File("a.ini");
  ASSERT_TRUE(WriteFileBytes(path, "; head\r\n[A]\r\nx=1\r\ny = 2\r\n\r\n[B]\r\nz=3\r\n"));
  ::chmod(path.c_str(), 0640);
  EXPECT_TRUE(IniWriteString(path, "a", "Y", "new"));
  EXPECT_TRUE(IniWriteString(path, "A", "w", "4"));
  EXPECT_TRUE(IniWriteString(path, "C", "k", "v"));
  EXPECT_EQ(ReadFileBytes(path), "; head\r\n[A]\r\nx=1\r\ny=new\r\nw=4\r\n\r\n[B]\r\nz=3\r\n[C]\r\nk=v\r\n");
  struct stat st {};
  EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == 0640);

  EXPECT_TRUE(IniWriteString(dir.File("DUMP.ini"), "DUMP", "DumpStatus", "NoPub"));
  EXPECT_EQ(ReadFileBytes(dir.File("DUMP.ini")), "[DUMP]\nDumpStatus=NoPub\n");
  // Failures leave what is there; a pipe in place of the file is never read (that would hang).
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
  EXPECT_EQ(IniGetString(dir.File("pipe"), "S", "k", "d"), "d");
  for (const char* bad : {"pipe", "no/such/folder.ini", ""})
    EXPECT_FALSE(IniWriteString(dir.File(bad), "S", "k", "v")) << bad;
  EXPECT_TRUE(::stat(dir.File("pipe").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

TEST(IniFile, ValuesAndPathsOfAnyLengthRoundTrip) {
  TempDir dir("ini");
  std::string folder = dir.path();
  for (char c = 'a'; c < 'i'; ++c) folder += "/" + std::string(80, c);
  ASSERT_TRUE(MakeDirectories(folder));
  const std::string path = folder + "/HtmlURL.ini";
  const std::vector<std::string> values = {"  blanks at both ends\t", "\"quoted\"", "\"", "", "x;y=z [w]",
                                          std::string(5000, 'u')};
  for (const std::string& value : values) {
    ASSERT_TRUE(IniWriteString(path, "PARAMS", "URL", value));
    EXPECT_EQ(IniGetString(path, "PARAMS", "URL", "default"), value);
  }
}

TEST(IniFile, LineBreaksAndBadNamesCannotAddKeysOrSections) {
  TempDir dir("ini");
  const std::string path = dir.File("u.ini");
  ASSERT_TRUE(IniWriteString(path, "VideoParam", "stream", "own"));
  ASSERT_TRUE(IniWriteString(path, "VideoParam", "strChatUrl", "x\r\n[Evil]\r\nkey=1\nstream=hijack"));
  EXPECT_EQ(IniGetString(path, "VideoParam", "strChatUrl", ""), "x  [Evil]  key=1 stream=hijack");
  EXPECT_EQ(IniGetString(path, "VideoParam", "stream", ""), "own");
  EXPECT_EQ(IniGetString(path, "Evil", "key", "none"), "none");
  const std::string before = ReadFileBytes(path);
  for (const char* name : {"a=b", "a\nb", "a\rb", "a]", ";x", "[x", "", "  "}) {
    EXPECT_FALSE(IniWriteString(path, "VideoParam", name, "v")) << name;
    EXPECT_FALSE(IniWriteString(path, name, "key", "v")) << name;
  }
  EXPECT_EQ(ReadFileBytes(path), before);
}

// 60 MB of mostly blank lines: parsed once and looked up in an index, not
// rescanned per key; as a file it is refused unread.
TEST(IniFile, HugeFilesAreIndexedOnceAndRefusedAsFiles) {
  std::string text = "; cache\n";
  text.append(60u << 20, '\n');
  text += "[VideoParam]\nstream=late\nVDFPS=12\n\n  \n";
  ASSERT_TRUE(test_support::ResetPeakResident());
  const long before = test_support::ResidentKb();
  const auto start = std::chrono::steady_clock::now();
  IniDocument doc = IniDocument::Parse(text);
  CPublishParams params;
  params.LoadIniDocument(doc, "test");  // every key of the cache, looked up
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_LT(test_support::PeakResidentKb() - before, 3 * (60 << 10)) << "KiB for a 60 MiB text";
  EXPECT_EQ(params.Get().stream, "late");
  EXPECT_EQ(params.Get().VDFPS, 12);
  // A key added to the section goes after its last line with content.
  ASSERT_TRUE(doc.Set("videoparam", "VCFPS", "9"));
  const std::string out = doc.Serialize();
  EXPECT_EQ(out.size(), text.size() + 8);
  const std::string tail = "stream=late\nVDFPS=12\nVCFPS=9\n\n  \n";
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);

  TempDir dir("ini");
  const std::string path = dir.File("account");
  ASSERT_TRUE(WriteFileBytes(path, text));
  ReadFileResult result = ReadFileResult::kRead;
  EXPECT_FALSE(params.LoadIni(path, &result));
  EXPECT_EQ(result, ReadFileResult::kTooLarge);
  EXPECT_EQ(IniGetString(path, "VideoParam", "stream", "d"), "d");
  EXPECT_FALSE(IniWriteString(path, "VideoParam", "stream", "x"));
  EXPECT_EQ(FileSize(path), static_cast<long long>(text.size()));
}

}  // namespace
