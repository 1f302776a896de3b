// Whether the program can reach a display before it hands control to Qt,
// which ends the process outright when its X11 platform finds none.
#pragma once
#include <string>

// True when the chosen Qt platform needs no X display or the X display opens;
// otherwise false with the reason in why.
bool DisplayUsable(std::string* why);
