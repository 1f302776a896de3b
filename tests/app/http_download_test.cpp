// Downloads of the program's HTTP client against the fake HTTP server: the
// file appears whole with rising progress events, or not at all, and an
// older file survives every failed attempt.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/ProgramEvents.h"
#include "tests/app/http_test_support.h"
#include "tests/support/temp_dir.h"

using app_test::Base;
using app_test::Raw;
using app_test::ShortLimitHttp;
using test_support::FakeHttpServer;
using test_support::HttpReply;

namespace {

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  return names;
}

std::vector<ProgramEvent> TakeAllEvents() {
  std::vector<ProgramEvent> events;
  while (std::optional<ProgramEvent> event = TheProgramEvents().Take()) events.push_back(std::move(*event));
  return events;
}

}  // namespace

TEST(HttpDownload, WritesTheWholeFileWithRisingProgress) {
  std::string body;
  for (int i = 0; i < 300000; ++i) body.push_back(static_cast<char>((i * 7) % 256));
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([&](const std::string&) { return HttpReply{200, body, false, {}}; }));
  test_support::TempDir dir("download");
  const std::string target = dir.File("new/folder/file name.bin");
  auto http = ShortLimitHttp();
  http->SetNotifyWnd(0x5A5A);
  http->SetNotifyMsg(2077);
  TakeAllEvents();

  // The server's port sits in the host part, as the login service gives it.
  ASSERT_TRUE(http->DownloadFileA(Base(server) + "/files/a b.bin", target));
  EXPECT_EQ(test_support::ReadFileBytes(target), body);
  EXPECT_EQ(FolderEntries(dir.File("new/folder")), std::vector<std::string>{"file name.bin"});
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"/files/a%20b.bin"});
  EXPECT_NE(server.WholeRequests().at(0).find("\r\nUser-Agent: Http-connect\r\n"), std::string::npos);

  const std::vector<ProgramEvent> events = TakeAllEvents();
  ASSERT_GE(events.size(), 2u) << "a 300 kB body arrives in several pieces";
  uintptr_t previous = 0;
  for (const ProgramEvent& event : events) {
    EXPECT_EQ(event.target, 0x5A5Au);
    EXPECT_EQ(event.message, 2077u);
    EXPECT_EQ(event.lParam, 0);
    EXPECT_GT(event.wParam, previous);
    previous = event.wParam;
  }
  EXPECT_EQ(previous, body.size());

  auto quiet = ShortLimitHttp();
  ASSERT_TRUE(quiet->DownloadFileW(quiet->AnsiToUnicode(Base(server)) + L"/again", quiet->AnsiToUnicode(target)));
  EXPECT_TRUE(TakeAllEvents().empty()) << "no notify window, no events";
}

TEST(HttpDownload, FailuresLeaveNoPartialFileAndTheOldOneIntact) {
  const std::string body(5000, 'n');
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([&](const std::string& target) {
    if (target == "/short") return Raw("200 OK\r\nContent-Length: 9000", body);
    if (target == "/unsized") return Raw("200 OK", body);
    if (target == "/stall") return HttpReply{200, {}, true, {}};
    return HttpReply{target == "/missing" ? 404 : 500, body, false, {}};
  }));
  test_support::TempDir dir("download");
  const std::string target = dir.File("kept.bin");
  ASSERT_TRUE(test_support::WriteFileBytes(target, "older contents"));
  auto http = ShortLimitHttp();
  for (const std::string path : {"/short", "/unsized", "/missing", "/error", "/stall"}) {
    http->GetErrorText().clear();
    EXPECT_FALSE(http->DownloadFileA(Base(server) + path, target)) << path;
    EXPECT_EQ(http->GetErrorText(), L"发送请求失败，请检查网络") << path;
    EXPECT_EQ(test_support::ReadFileBytes(target), "older contents") << path;
  }
  EXPECT_FALSE(http->DownloadFileA(Base(server) + "/short", dir.File("fresh.bin")));
  EXPECT_FALSE(http->DownloadFileA("", dir.File("fresh.bin")));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"kept.bin"});
}
