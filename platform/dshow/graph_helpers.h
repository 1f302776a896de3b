// Small helpers the capture objects share: the picture header of a video
// media type, and the running-object-table entry under which graph
// inspectors find a capture graph.
#pragma once
#include "platform/dshow/interfaces.h"
#include "platform/dshow/media_type.h"

// Copies the BITMAPINFOHEADER of a VideoInfo or VideoInfo2 format block;
// false for any other or a short block.
bool ReadVideoHeader(const AM_MEDIA_TYPE& mt, BITMAPINFOHEADER* header);

// Registers graph as "FilterGraph <address> pid <pid>"; the cookie, 0 when
// nothing was registered.
DWORD RegisterGraphInRot(IUnknown* graph);
// Revokes a registration (nothing for 0) and zeroes the cookie.
void RevokeGraphFromRot(DWORD* cookie);
