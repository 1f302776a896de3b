// The library's version text: the modification time of the library file
// itself, "YYYYMMDDhhmmss" in local time. Read by the JSON command
// "GetSdkVersion" and sent to the server when connecting.
#pragma once
#include <string>

// Empty when the file or its time cannot be read.
std::string GetSdkVersionString();

// The same for any file; what GetSdkVersionString applies to its own module.
std::string FileTimeVersionString(const std::string& path);
