// What the login window needs from the window that hosts it (the main
// window): being told that the presenter is in, and ending the program.
// Both are called on the GUI thread only.
#pragma once

class ILoginHost {
 public:
  virtual ~ILoginHost() = default;
  // The presenter is in, online or from the account's cache. The host shows
  // itself, loads the user settings again and hands the publish parameters
  // just stored (B-frame count and quality included) to the library, since
  // they may differ from the last account's.
  virtual void OnLoginSuccess() = 0;
  // Ends the program's message loop with this exit code.
  virtual void QuitProgram(int code) = 0;
};
