// The folders build on each other in one direction: the program's entry on
// the windows, the windows on the program's core, the core on the library;
// the library knows nothing of what only the earlier builds add. An include
// that runs the other way compiles today and tangles the layers tomorrow, so
// the sources are read here as text.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// Every "#include "<folder>/..." of a source below folder that names one of
// the forbidden folders, as "file: line".
std::vector<std::string> IncludesOf(const std::string& folder, const std::vector<std::string>& forbidden) {
  const char* top = std::getenv("STRIVON_SOURCE_DIR");
  std::vector<std::string> found;
  if (!top) return {"STRIVON_SOURCE_DIR is not set"};
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(top) / folder)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
    std::ifstream source(entry.path());
    for (std::string line; std::getline(source, line);) {
      if (line.rfind("#include \"", 0) != 0) continue;
      for (const std::string& other : forbidden)
        if (line.compare(10, other.size() + 1, other + "/") == 0)
          found.push_back(fs::relative(entry.path(), top).string() + ": " + line);
    }
  }
  return found;
}

}  // namespace

TEST(DependencyDirection, EachFolderIncludesOnlyWhatItBuildsOn) {
  EXPECT_EQ(IncludesOf("app", {"ui", "program"}), std::vector<std::string>{});
  EXPECT_EQ(IncludesOf("ui", {"program"}), std::vector<std::string>{});
  EXPECT_EQ(IncludesOf("strivon", {"variant", "app", "ui", "program"}), std::vector<std::string>{});
}
