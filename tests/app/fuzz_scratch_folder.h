// A private folder for fuzz targets that feed their input through a file:
// memory-backed when /dev/shm is there (syncing writes to disk would slow each
// run many times over), removed when the fuzzer exits.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

inline const std::string& FuzzScratchFolder() {
  struct Folder {
    Folder() {
      for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string pattern = std::string(base) + "/velmora-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data())) {
          path = pattern;
          return;
        }
      }
      std::abort();
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    std::string path;
  };
  static Folder folder;
  return folder.path;
}
