// The window message the library proxy posts to the main window about a
// publish run, and its event codes (the message's first parameter). The
// second parameter is always 0; a JSON event's text travels in the
// ProgramEvent itself, which owns it.
#pragma once

// WM_PUBLISH_EVENT is defined once, among the window messages, so the main
// window can see the proxy and the window library in one file.
#include "platform/duilib/ui_events.h"

enum PublishEventCode : unsigned {
  kPublishEventConnectionClosed = 2,     // "NetConnection.Connect.Closed"
  kPublishEventJson = 12,                // a JSON event text from the library
  kPublishEventAudioCaptureError = 13,   // "Audio.Capture.Error"
  kPublishEventVideoCaptureError = 14,   // "Video.Capture.Error"
};
