// BuildRgbVideoMediaType: the media type of uncompressed RGB pictures of one
// size and bit depth at a frame rate (bottom-up rows, a VideoInfo block with
// room for a 256-entry palette). The preview's push source offers it.
#pragma once
#include "platform/dshow/media_type.h"

// Replaces *mt; *hr is S_OK, E_FAIL for a size or rate of 0 or less (or a
// picture too large for a 32-bit sample size) and E_OUTOFMEMORY when the
// format block cannot be had. The subtype of a bit count other than 1, 4, 8,
// 16, 24 or 32 is the null GUID.
void BuildRgbVideoMediaType(CMediaType* mt, int width, int height, int bitCount, int fps, HRESULT* hr);

// The RGB subtype of a bit count of 1, 4, 8, 16, 24 or 32; the null GUID
// for any other.
const GUID& RgbSubtypeFor(int bitCount);
