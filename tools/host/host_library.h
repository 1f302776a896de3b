// What both modes of the sample host share: loading libStrivon at run time
// and turning the library's wide device names into UTF-8 for printing.
#pragma once
#include <string>

#include <strivon/IRtmpPublishManager.h>

using CreateManagerFunction = IRtmpPublishManager* (*)(IRtmpPublishManagerNotify*);

// dlopen()s the library and finds its factory; on failure prints why and
// returns null. The library stays loaded until UnloadStrivon.
CreateManagerFunction LoadStrivon(const char* libraryPath, void** handle);
void UnloadStrivon(void* handle);

std::string Utf8(const wchar_t* text);
