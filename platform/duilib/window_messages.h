// Window messages posted from any thread to a window of the GUI thread.
// Messages reach the window's HandleMessage in the order they were posted.
// A message whose window is gone (or never existed) is dropped without
// touching the window; when the message owns a payload (a heap record or
// text passed in wParam or lParam), the poster names a release function that
// frees it if the message is dropped. A delivered message hands its payload
// to the window.
#pragma once
#include "platform/duilib/ui_events.h"
#include "strivon/WindowHandle.h"

class CWindowWnd;

using MessagePayloadRelease = void (*)(WPARAM wParam, LPARAM lParam);

// False when the message was dropped at once (no such window); release has
// then already run.
bool PostMessageW(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0,
                  MessagePayloadRelease release = nullptr);

namespace window_messages {

// Called by CWindowWnd on the GUI thread as its native window comes and goes.
void RegisterWindow(HWND handle, CWindowWnd* window);
void UnregisterWindow(HWND handle);
// The live window with this handle, or null. GUI thread only.
CWindowWnd* FindWindow(HWND handle);

}  // namespace window_messages
