// Where the program keeps the files it reads and writes beside itself
// (user_config.xml, the INI files, "usr/", "video/"): the folder of the running
// executable when it is writable, otherwise the user's data folder
// ($XDG_DATA_HOME/Velmora, or ~/.local/share/Velmora). Never ends in "/".
#pragma once
#include <string>

std::string GetExeDirectory();   // folder of /proc/self/exe
std::string GetProgramFolder();  // the folder chosen as above, created if needed

// The choice itself: exeDirectory when it is writable (and not the root),
// otherwise the user's data folder, which is created.
std::string ChooseProgramFolder(const std::string& exeDirectory, bool exeDirectoryWritable);

// Tests point the program at a folder of their own.
void SetProgramFolderForTesting(const std::string& folder);
