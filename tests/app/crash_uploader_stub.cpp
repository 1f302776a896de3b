// Stands in for the outside crash uploader: records its arguments, each ended
// by '\0', into $CRASH_STUB_RECORD, and copies the dump it was given (the
// argument after "-f") to $CRASH_STUB_RECORD.dump when that file exists.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

int main(int argc, char** argv) {
  const char* record = std::getenv("CRASH_STUB_RECORD");
  if (record == nullptr) return 2;
  if (argc > 2) {
    const std::string dump = test_support::ReadFileBytes(argv[2]);
    if (test_support::FileSize(argv[2]) >= 0) test_support::WriteFileBytes(std::string(record) + ".dump", dump);
  }
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments.append(argv[i]).push_back('\0');
  // Written whole, then renamed: the test never sees half a record.
  const std::string part = std::string(record) + ".part";
  if (!test_support::WriteFileBytes(part, arguments)) return 1;
  return std::rename(part.c_str(), record) == 0 ? 0 : 1;
}
