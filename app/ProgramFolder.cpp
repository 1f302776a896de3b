#include "app/ProgramFolder.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "app/FileAccess.h"
#include "app/ProgramIdentity.h"

namespace {

struct FolderChoice {
  std::mutex lock;
  std::optional<std::string> folder;
};

FolderChoice& Choice() {
  static FolderChoice choice;
  return choice;
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return home;
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return {};
}

}  // namespace

std::string GetExeDirectory() {
  const std::string path = ReadProgramPath();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ChooseProgramFolder(const std::string& exeDirectory, bool exeDirectoryWritable) {
  // The file-system root is never taken: the folder names below would then
  // land on system folders such as /usr.
  if (exeDirectoryWritable && !exeDirectory.empty() && exeDirectory != "/") return exeDirectory;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (dataHome && *dataHome == '/') {
    base = dataHome;
  } else {
    const std::string home = HomeFolder();
    // Nowhere better: writes beside the executable fail and are reported.
    if (home.empty()) return exeDirectory.empty() || exeDirectory == "/" ? "." : exeDirectory;
    base = WithoutTrailingSlash(home) + "/.local/share";
  }
  const std::string folder = WithoutTrailingSlash(base) + "/Velmora";
  MakeDirectories(folder, 0700);
  return folder;
}

std::string GetProgramFolder() {
  FolderChoice& choice = Choice();
  std::lock_guard<std::mutex> hold(choice.lock);
  if (!choice.folder) {
    const std::string exe = GetExeDirectory();
    choice.folder = ChooseProgramFolder(exe, !exe.empty() && ::access(exe.c_str(), W_OK | X_OK) == 0);
  }
  return *choice.folder;
}

void SetProgramFolderForTesting(const std::string& folder) {
  FolderChoice& choice = Choice();
  std::lock_guard<std::mutex> hold(choice.lock);
  choice.folder = WithoutTrailingSlash(folder);
}
