// The Velmora executable itself, copied alone into a folder of its own: it
// says why when there is no display (and leaves the saved settings alone),
// and on a private Xvfb it makes its
// "video" folder, shows the login window (with no GL library loaded) and
// keeps the main window hidden, and ends with 0 when the login window is
// closed.
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/xvfb_qtest_main.h"

namespace {

std::string CopyProgramInto(const test_support::TempDir& folder) {
  const std::string program = folder.File("Velmora");
  std::filesystem::copy_file(VELMORA_BINARY, program);
  return program;
}

std::string WindowsNamed(const char* name, bool visibleOnly) {
  std::vector<std::string> argv{"xdotool", "search"};
  if (visibleOnly) argv.push_back("--onlyvisible");
  argv.insert(argv.end(), {"--name", std::string("^") + name + "$"});
  return QString::fromStdString(test_support::RunCommand(argv, 20000).out).trimmed().toStdString();
}

// The libraries mapped into the running process started from program.
std::string MappedLibrariesOf(const std::string& program) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path() / "exe", error) == program)
      return test_support::ReadFileBytes((entry.path() / "maps").string());
  }
  return "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

class ProgramStartupTest : public QObject {
  Q_OBJECT

 private slots:
  void withoutADisplayItSaysSoAndFails() {
    test_support::TempDir folder("velmora-nodisplay");
    const std::string program = CopyProgramInto(folder);
    // Settings of an earlier run: a program that never got to load them
    // must not write its defaults over them on the way out.
    const std::string settings = "<?xml version=\"1.0\"?>\n<USERINFO><MIC>kept</MIC></USERINFO>\n";
    QVERIFY(test_support::WriteFileBytes(folder.File("user_config.xml"), settings));
    auto run = test_support::RunCommand({"env", "-u", "DISPLAY", "-u", "QT_QPA_PLATFORM", program}, 30000);
    QVERIFY(!run.timedOut);
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.err.find("display") != std::string::npos, run.err.c_str());
    QCOMPARE(test_support::ReadFileBytes(folder.File("user_config.xml")), settings);
  }

  void startsHiddenBehindTheLoginWindowAndEndsWithZero() {
    test_support::TempDir folder("velmora-start");
    const std::string program = CopyProgramInto(folder);
    test_support::ChildProcess child;
    // The shell only keeps the exit code for the test to read.
    QVERIFY(child.Start({"sh", "-c", "\"$0\"; echo $? > \"$0.rc\"", program}, folder.File("output.txt")));

    QTRY_VERIFY_WITH_TIMEOUT(!WindowsNamed("LoginDlg", true).empty(), 20000);
    QVERIFY(std::filesystem::is_directory(folder.File("video")));
    // The windows paint without GL, so no GL driver is loaded to show them
    // (and none can behave differently on another machine).
    const std::string maps = MappedLibrariesOf(program);
    QVERIFY(maps.find("libqxcb.so") != std::string::npos);
    QVERIFY2(maps.find("glx-integration") == std::string::npos && maps.find("_dri.so") == std::string::npos &&
                 maps.find("libGLX_mesa") == std::string::npos,
             maps.c_str());
    QVERIFY(!WindowsNamed("transwnd", false).empty());
    QVERIFY(WindowsNamed("transwnd", true).empty());

    // The login window's close button, at its top right.
    const std::string login = WindowsNamed("LoginDlg", true);
    auto click = test_support::RunCommand(
        {"xdotool", "mousemove", "--window", login, "327", "24", "click", "1"}, 20000);
    QCOMPARE(click.exitCode, 0);
    QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(program + ".rc"), 20000);
    QCOMPARE(QString::fromStdString(ReadFile(program + ".rc")).trimmed(), QStringLiteral("0"));
    QVERIFY(std::filesystem::exists(folder.File("user_config.xml")));
  }
};

int main(int argc, char** argv) { return RunQtTestOnPrivateXvfb<ProgramStartupTest>(argc, argv); }

#include "program_startup_test.moc"
