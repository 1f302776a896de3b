// Who the running program is, as the crash handler and the main window's crash
// set-up need it: its path, the dump path beside it, its base name and its
// build version. Not for use inside a signal handler (these allocate).
#pragma once
#include <cstdint>
#include <string>

// The running program's path (/proc/self/exe); empty when it cannot be read.
std::string ReadProgramPath();

// The program's path with the extension of its file name replaced by ".dmp",
// or ".dmp" appended when the file name has none. Dots in folder names and a
// leading dot of a hidden file name are not extensions.
std::string DumpPathForProgram(const std::string& programPath);

// The file name of programPath without its folder, and without ".exe" when it
// ends in one.
std::string ExeBaseNameOf(const std::string& programPath);
std::string GetExeBaseName();

// "a.b.c.d" (missing parts are 0); false with all parts 0 when the text is not
// one to four dot-separated numbers of at most 65535.
bool ParseVersionText(const std::string& text, uint16_t* major, uint16_t* minor, uint16_t* third,
                      uint16_t* fourth);

// The program's build version: Linux executables carry no version resource,
// so this is the project version the build was configured with. False and
// 0.0.0.0 when the build has none.
bool GetModuleVersion(uint16_t* major, uint16_t* minor, uint16_t* third, uint16_t* fourth);
