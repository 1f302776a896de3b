// The crash handler, seen from outside: a copy of crash_probe crashes in a
// folder of the test's own and crash_uploader_stub records what it was given.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/CrashHandler.h"
#include "tests/support/temp_dir.h"

namespace {

using test_support::FileSize;
using test_support::ReadFileBytes;

TEST(ProgramIdentity, OnlyTheFileNamesExtensionIsReplaced) {
  EXPECT_EQ(DumpPathForProgram("/opt/v1.2/Velmora.exe"), "/opt/v1.2/Velmora.dmp");
  EXPECT_EQ(DumpPathForProgram("/opt/v1.2/velmora"), "/opt/v1.2/velmora.dmp");
  EXPECT_EQ(DumpPathForProgram("/home/u/.velmora"), "/home/u/.velmora.dmp");
  EXPECT_EQ(ExeBaseNameOf("/opt/v1.2/Velmora.exe"), "Velmora");
  EXPECT_EQ(ExeBaseNameOf("/opt/v1.2/velmora.bin"), "velmora.bin");
  uint16_t a, b, c, d;
  EXPECT_TRUE(ParseVersionText("1.2.3.65535", &a, &b, &c, &d));
  EXPECT_EQ((std::vector<int>{a, b, c, d}), (std::vector<int>{1, 2, 3, 65535}));
  for (const char* bad : {"", "1..2", "1.2.3.4.5", "65536", "1.x"})
    EXPECT_FALSE(ParseVersionText(bad, &a, &b, &c, &d)) << bad;
}

struct ProbeRun {
  pid_t pid = -1;
  int status = 0;
  std::string output;
};

class CrashHandlerTest : public ::testing::Test {
 protected:
  // Copies the probe to folder/name inside the test's folder.
  std::string StageProbe(const std::string& folder, const std::string& name) {
    std::filesystem::create_directories(temp_.File(folder));
    const std::string path = temp_.File(folder + "/" + name);
    EXPECT_TRUE(test_support::WriteFileBytes(path, ReadFileBytes(CRASH_PROBE_PATH)));
    ::chmod(path.c_str(), 0755);
    return path;
  }

  // Returns once the probe and any uploader it started are gone: both hold
  // the write end of the output pipe until they exit.
  ProbeRun RunProbe(const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::string variable = "CRASH_STUB_RECORD=" + record_;
    char* envp[] = {variable.data(), nullptr};
    ProbeRun run;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return run;
    run.pid = ::fork();
    if (run.pid == 0) {
      ::dup2(ends[1], 1);
      ::dup2(ends[1], 2);
      ::execve(program.c_str(), argv.data(), envp);
      ::_exit(126);
    }
    ::close(ends[1]);
    char chunk[4096];
    pollfd readable{ends[0], POLLIN, 0};
    for (ssize_t got = 1; got > 0 && ::poll(&readable, 1, 60000) > 0;) {
      got = ::read(ends[0], chunk, sizeof(chunk));
      if (got > 0) run.output.append(chunk, static_cast<size_t>(got));
    }
    ::close(ends[0]);
    ::waitpid(run.pid, &run.status, 0);
    return run;
  }

  std::vector<std::string> RecordedArguments() const {
    std::vector<std::string> arguments;
    const std::string bytes = ReadFileBytes(record_);
    for (size_t start = 0, end; start < bytes.size(); start = end + 1) {
      end = bytes.find('\0', start);
      arguments.push_back(bytes.substr(start, end - start));
    }
    return arguments;
  }

  static void ExpectKilledBy(const ProbeRun& run, int signalNumber) {
    ASSERT_TRUE(WIFSIGNALED(run.status)) << "status " << run.status << "\n" << run.output;
    EXPECT_EQ(WTERMSIG(run.status), signalNumber) << run.output;
  }

  bool NoTemporaryDumpIn(const std::string& folder) const {
    for (const auto& entry : std::filesystem::directory_iterator(temp_.File(folder)))
      if (entry.path().extension() == ".tmp") return false;
    return true;
  }

  test_support::TempDir temp_{"crash-handler"};
  const std::string record_ = temp_.File("uploader-record");
};

TEST_F(CrashHandlerTest, CrashWritesDumpThenUploaderGetsExactArguments) {
  const std::string program = StageProbe("install.v1.2", "Velmora");
  const std::string dump = temp_.File("install.v1.2/Velmora.dmp");
  ASSERT_TRUE(test_support::WriteFileBytes(dump, "an earlier crash"));
  const std::string info = "{\n   \"UploadUrl\" : \"http://127.0.0.1/up?a=1&b=\\\"2\\\"\",\n"
                           "   \"Account\" : \"a  b\tc\"\r\n}\n";
  const ProbeRun run = RunProbe(program, {"segv", CRASH_UPLOADER_STUB_PATH, info});
  ExpectKilledBy(run, SIGSEGV);
  const std::string written = ReadFileBytes(dump);
  for (const std::string& part : {std::string("signal: 11 (SIGSEGV)"), std::string("fault address: 0x8\n"),
                                  std::string("  rip 0x"), std::string("#0 0x"), std::string("CrashInNamedFunction"),
                                  std::string("memory map:\n"), program, std::string("end of dump\n")})
    EXPECT_NE(written.find(part), std::string::npos) << part << "\n" << written;

  uint16_t a, b, c, d;
  GetModuleVersion(&a, &b, &c, &d);
  const std::string version =
      std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d);
  EXPECT_EQ(RecordedArguments(), (std::vector<std::string>{"-f", dump, "-t", program, "-v", version, "-a", info,
                                                            "-pid", std::to_string(run.pid)}));
  // The uploader is started only once the dump is complete.
  EXPECT_EQ(ReadFileBytes(record_ + ".dump"), written);
  EXPECT_TRUE(NoTemporaryDumpIn("install.v1.2"));
}

TEST_F(CrashHandlerTest, AbortWithoutUploaderIsDumpedAndEndsWithSigabrt) {
  const ProbeRun run = RunProbe(StageProbe("x.y", "Velmora.exe"), {"abort", "", "info"});
  ExpectKilledBy(run, SIGABRT);
  EXPECT_NE(run.output.find("base Velmora\n"), std::string::npos) << run.output;
  EXPECT_NE(ReadFileBytes(temp_.File("x.y/Velmora.dmp")).find("signal: 6 (SIGABRT)"), std::string::npos);
  EXPECT_EQ(FileSize(record_), -1);
}

TEST_F(CrashHandlerTest, PreviousHandlerRunsAfterTheDumpWithTheSameSignal) {
  const ProbeRun run = RunProbe(StageProbe("bin", "probe"), {"previous", CRASH_UPLOADER_STUB_PATH, "info"});
  ASSERT_TRUE(WIFEXITED(run.status)) << run.output;
  EXPECT_EQ(WEXITSTATUS(run.status), 7);
  EXPECT_NE(run.output.find("previous 11 dump-present\n"), std::string::npos) << run.output;
  EXPECT_EQ(RecordedArguments().size(), 10u);
}

TEST_F(CrashHandlerTest, StackOverflowStillWritesADump) {
  const ProbeRun run = RunProbe(StageProbe("bin", "probe"), {"overflow", "", ""});
  ExpectKilledBy(run, SIGSEGV);
  const std::string written = ReadFileBytes(temp_.File("bin/probe.dmp"));
  EXPECT_NE(written.find("RecurseWithoutEnd"), std::string::npos) << written.substr(0, 4000);
  EXPECT_NE(written.find("end of dump\n"), std::string::npos);
}

// The disk fills up while the dump is written (the fourth argument limits the
// file size): the earlier dump must not be sent in its place.
TEST_F(CrashHandlerTest, UnfinishedDumpRemovesTheEarlierOne) {
  const std::string program = StageProbe("bin", "probe");
  ASSERT_TRUE(test_support::WriteFileBytes(temp_.File("bin/probe.dmp"), "an earlier crash"));
  ExpectKilledBy(RunProbe(program, {"segv", CRASH_UPLOADER_STUB_PATH, "info", "4096"}), SIGSEGV);
  EXPECT_EQ(FileSize(temp_.File("bin/probe.dmp")), -1);
  EXPECT_TRUE(NoTemporaryDumpIn("bin"));
  EXPECT_EQ(RecordedArguments().size(), 10u);
  EXPECT_EQ(FileSize(record_ + ".dump"), -1);
}

// What sits at the dump path can be neither replaced nor removed: no upload.
TEST_F(CrashHandlerTest, IrreplaceableDumpPathStartsNoUploader) {
  const std::string program = StageProbe("bin", "probe");
  std::filesystem::create_directories(temp_.File("bin/probe.dmp/inside"));
  ExpectKilledBy(RunProbe(program, {"segv", CRASH_UPLOADER_STUB_PATH, "info"}), SIGSEGV);
  EXPECT_EQ(FileSize(record_), -1);
  EXPECT_TRUE(NoTemporaryDumpIn("bin"));
}

// The program folder is the user's data folder (the executable's folder is
// read-only): the dump, the uploader and the "DumpFilePath" it is told are
// all there.
TEST_F(CrashHandlerTest, DumpUploaderAndDumpFilePathShareTheProgramFolder) {
  const std::string program = StageProbe("bin", "probe");
  std::filesystem::create_directories(temp_.File("data/Velmora"));
  const std::string folder = temp_.File("data/Velmora");
  ASSERT_TRUE(test_support::WriteFileBytes(folder + "/Crashwick", ReadFileBytes(CRASH_UPLOADER_STUB_PATH)));
  ::chmod((folder + "/Crashwick").c_str(), 0755);
  ExpectKilledBy(RunProbe(program, {"program", folder, "anna"}), SIGSEGV);
  const std::string dump = folder + "/probe.dmp";
  EXPECT_NE(ReadFileBytes(dump).find("signal: 11 (SIGSEGV)"), std::string::npos);
  EXPECT_EQ(FileSize(temp_.File("bin/probe.dmp")), -1);
  const std::vector<std::string> arguments = RecordedArguments();
  ASSERT_EQ(arguments.size(), 10u);
  EXPECT_EQ(arguments[1], dump);
  EXPECT_NE(arguments[7].find("\"DumpFilePath\" : \"" + dump + "\""), std::string::npos) << arguments[7];
  EXPECT_NE(arguments[7].find("\"Account\" : \"anna\""), std::string::npos) << arguments[7];
}

}  // namespace
