// The program's MD5 digest against md5sum over the same bytes, and its text
// conversions between UTF-8 and wide strings.
#include <gtest/gtest.h>

#include <memory>

#include "app/IHttpInterface.h"
#include "app/Md5Hex.h"
#include "app/StringConvert.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Md5sumOf(const std::string& bytes) {
  test_support::TempDir dir("md5hex");
  const std::string file = dir.File("text");
  if (!test_support::WriteFileBytes(file, bytes)) return "cannot write";
  const test_support::CommandResult run = test_support::RunCommand({"md5sum", file}, 10000);
  return run.exitCode == 0 ? run.out.substr(0, 32) : "md5sum failed";
}

}  // namespace

TEST(Md5Hex, MatchesMd5sumOnTheSameBytes) {
  std::string high;
  for (int byte = 0x80; byte <= 0xFF; ++byte) high.push_back(static_cast<char>(byte));
  // 55/56 and 63/64/65 bytes straddle the padding's block boundaries.
  const std::vector<std::string> texts = {"", "abc", std::string(55, 'p'), std::string(56, 'p'), std::string(63, 'p'),
                                          std::string(64, 'p'), std::string(65, 'p'), "登录密码：中文口令", high};
  for (const std::string& text : texts) EXPECT_EQ(Md5Hex(text), Md5sumOf(text)) << text.size() << " bytes";
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(StringConvert, EmptyBomAndTerminator) {
  EXPECT_EQ(WideToMultiByte(L""), "");
  EXPECT_EQ(MultiByteToWide(""), L"");
  EXPECT_EQ(WideToMultiByteBuf(nullptr), "");
  EXPECT_EQ(MultiByteToWideBuf("abc", 0), L"");
  EXPECT_EQ(MultiByteToWideBuf("abc", -1), L"");
  EXPECT_EQ(MultiByteToWideBuf("abcdef", 3), L"abc");
  EXPECT_EQ(MultiByteToWide("\xEF\xBB\xBF中文"), L"中文");
  EXPECT_EQ(MultiByteToWide(std::string("ab\0cd", 5)), L"ab");
  EXPECT_EQ(WideToMultiByte(std::wstring(L"ab\0cd", 5)), "ab");
  EXPECT_EQ(WideToMultiByte(L"中文"), "\xE4\xB8\xAD\xE6\x96\x87");
}

TEST(HttpInterfaceText, ConversionsAndTheUtf8Exception) {
  std::unique_ptr<IHttpInterface, HttpInterfaceRelease> http(CreateHttpConnect());
  EXPECT_EQ(http->AnsiToUnicode(std::string("登录\0x", 8)), L"登录");
  EXPECT_EQ(http->UnicodeToAnsi(std::wstring(L"登录\0x", 4)), "登录");
  // Utf8ToUnicode keeps the whole text; a genuine U+FFFD is valid input.
  EXPECT_EQ(http->Utf8ToUnicode(std::string("\xEF\xBB\xBF" "a\0b\xEF\xBF\xBD", 9)),
            std::wstring(L"\xFEFF" L"a\0b\xFFFD", 5));
  EXPECT_EQ(http->Utf8ToUnicode(""), L"");
  for (const std::string bad : {"\xC0\xAF", "ab\xE4\xB8", "\xED\xA0\x80", "\xFF", "\xF4\x90\x80\x80", "\x80"}) {
    try {
      http->Utf8ToUnicode(bad);
      ADD_FAILURE() << "no exception for " << bad;
    } catch (const Utf8ToUnicodeError& error) {
      EXPECT_STREQ(error.what(), "Utf8ToUnicode出错：无效的UTF-8字符串。");
    }
  }
}
