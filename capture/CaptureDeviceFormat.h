// The camera capture's device steps: finding a camera by friendly name and
// occurrence, and asking it for the picture size and frame rate the owner
// wants (or the nearest size it lists).
#pragma once
#include <string>

#include "platform/dshow/interfaces.h"

// Cameras whose friendly names agree with name in the first 15 characters
// (all cameras for an empty name; only those of exactly that name when there
// are any), in enumeration order; binds the one at nameIndex. *countMatches
// tells whether nameCount such cameras exist.
HRESULT FindCaptureDevice(REFCLSID category, IBaseFilter** filter, const std::wstring& name, int nameIndex,
                          int nameCount, bool* countMatches);

// Sets the frame size of *format and the frame time for frameRate (below 1:
// 1) on the capture pin, keeping the camera's pixel layout. When the camera
// refuses, the nearest listed size is tried and written back into *format.
HRESULT ApplyCaptureFormat(ICaptureGraphBuilder2* builder, IBaseFilter* filter, BITMAPINFOHEADER* format,
                           int frameRate);

// The smallest listed width and height at or above the request (or the
// largest listed), each chosen alone; *chosen is the first listed type of
// that area (free with DeleteMediaType), or null.
void ChooseCaptureSize(ICaptureGraphBuilder2* builder, IBaseFilter* filter, int* width, int* height,
                       AM_MEDIA_TYPE** chosen);
