// The program's crash handler: on SIGSEGV, SIGBUS, SIGFPE, SIGILL or SIGABRT
// it writes a dump (by default beside the program: its path with ".dmp" for
// the file name's extension), starts the outside uploader with the dump and the
// information text, then hands the signal on to the handler installed before
// it, or lets the default action end the process. The main window installs it
// once at start-up; it stays for the life of the process.
#pragma once
#include "app/ProgramIdentity.h"

// Copies uploaderPath (null or empty: no uploader is started) and infoText
// (null: empty; longer than 1023 bytes: cut at a character boundary), takes
// dumpPath (null: beside the program, as above) and installs the handler on an alternate signal stack of the
// calling thread. Everything the handler needs is prepared here, so the crash
// itself only uses async-signal-safe calls. False (and nothing installed) when
// the program's path cannot be read, a path is too long, or a handler is
// installed already.
bool InstallCrashHandler(const char* uploaderPath, const char* infoText, const char* dumpPath = nullptr);
