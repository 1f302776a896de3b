// Downloads of the program's HTTP client against the fake HTTP server: the
// file appears whole with rising progress events, or not at all, and an
// older file survives every failed attempt.
#include <dirent.h>
#include <gtest/gtest.h>

#include "app/ProgramEvents.h"
#include "tests/app/http_test_support.h"
#include "tests/support/temp_dir.h"

using app_test::Base;
using app_test::RawReply;
using app_test::ShortLimitHttp;
using test_support::FakeHttpServer;
using test_support::HttpReply;

namespace {

const HWND kWindow = 0x5A5A;
const unsigned kMessage = 2077;

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
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
  http->SetNotifyWnd(kWindow);
  http->SetNotifyMsg(kMessage);
  TakeAllEvents();

  // The server's port sits in the host part, as the login service gives it.
  ASSERT_TRUE(http->DownloadFileA(Base(server) + "/files/a b.bin", target));
  EXPECT_EQ(test_support::ReadFileBytes(target), body);
  EXPECT_EQ(FolderEntries(dir.File("new/folder")), std::vector<std::string>{"file name.bin"});
  EXPECT_EQ(server.Requests(), std::vector<std::string>{"/files/a%20b.bin"});
  const std::string request = server.WholeRequests().at(0);
  EXPECT_NE(request.find("\r\nUser-Agent: Http-connect\r\n"), std::string::npos);

  const std::vector<ProgramEvent> events = TakeAllEvents();
  ASSERT_GE(events.size(), 2u) << "a 300 kB body arrives in several pieces";
  uintptr_t previous = 0;
  for (const ProgramEvent& event : events) {
    EXPECT_EQ(event.target, kWindow);
    EXPECT_EQ(event.message, kMessage);
    EXPECT_EQ(event.lParam, 0);
    EXPECT_GT(event.wParam, previous);
    previous = event.wParam;
  }
  EXPECT_EQ(previous, body.size());

  // Without a notify window nothing is posted.
  auto quiet = ShortLimitHttp();
  ASSERT_TRUE(quiet->DownloadFileW(quiet->AnsiToUnicode(Base(server)) + L"/again", quiet->AnsiToUnicode(target)));
  EXPECT_TRUE(TakeAllEvents().empty());
  EXPECT_EQ(test_support::ReadFileBytes(target), body);
}

TEST(HttpDownload, FailuresLeaveNoPartialFileAndTheOldOneIntact) {
  const std::string body(5000, 'n');
  FakeHttpServer server;
  ASSERT_TRUE(server.Start([&](const std::string& target) {
    if (target == "/short")
      return HttpReply{0, {}, false, RawReply("200 OK\r\nContent-Length: 9000", body)};
    if (target == "/unsized") return HttpReply{0, {}, false, RawReply("200 OK", body)};
    if (target == "/missing") return HttpReply{404, body, false, {}};
    if (target == "/error") return HttpReply{500, body, false, {}};
    if (target == "/stall") return HttpReply{200, {}, true, {}};
    return HttpReply{200, body, false, {}};
  }));
  test_support::TempDir dir("download");
  const std::string target = dir.File("kept.bin");
  ASSERT_TRUE(test_support::WriteFileBytes(target, "older contents"));
  auto http = ShortLimitHttp(2000, 1);
  for (const std::string path : {"/short", "/unsized", "/missing", "/error", "/stall"}) {
    http->GetErrorText().clear();
    EXPECT_FALSE(http->DownloadFileA(Base(server) + path, target)) << path;
    EXPECT_EQ(http->GetErrorText(), L"发送请求失败，请检查网络") << path;
    EXPECT_EQ(test_support::ReadFileBytes(target), "older contents") << path;
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"kept.bin"}) << path;
  }
  EXPECT_FALSE(http->DownloadFileA(Base(server) + "/short", dir.File("fresh.bin")));
  EXPECT_EQ(test_support::FileSize(dir.File("fresh.bin")), -1);
  EXPECT_FALSE(http->DownloadFileA("", dir.File("fresh.bin")));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"kept.bin"});
}
