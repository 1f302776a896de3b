// The program's life from the entry point to the end of its message loop:
// the display, the skin, the main window, the loop and the orderly shut-down.
#pragma once

// Runs the program; 0 when it ended normally, non-zero (after a message on
// stderr) when it could not start: no display, or a window that could not
// be made.
int RunVelmora(int argc, char** argv);

// Points the window library at the skin compiled into the program.
void InitSkinResources();
