// The window message the library proxy posts to the main window about a
// publish run, and its event codes (the message's first parameter). The
// second parameter is always 0; a JSON event's text travels in the
// ProgramEvent itself, which owns it.
#pragma once

inline constexpr unsigned WM_PUBLISH_EVENT = 4031;

enum PublishEventCode : unsigned {
  kPublishEventConnectionClosed = 2,     // "NetConnection.Connect.Closed"
  kPublishEventJson = 12,                // a JSON event text from the library
  kPublishEventAudioCaptureError = 13,   // "Audio.Capture.Error"
  kPublishEventVideoCaptureError = 14,   // "Video.Capture.Error"
};
