// The one check every path passes before the media library opens it (a
// media file, a logo image): only a regular file. The library's open cannot
// be ended by a deadline while the kernel blocks in open() itself, which is
// what a FIFO or a device does until someone writes to it.
#pragma once
#include <string>

// False, with *reason ("No such file or directory", "not a regular file"),
// when path does not name a regular file.
bool CheckRegularFile(const std::string& path, std::string* reason);
