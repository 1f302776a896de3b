// A small stand-in for the audio-compression-manager stream calls the
// library converts sound with: PCM to PCM only (8/16-bit integer or 32-bit
// float in and out, mono or stereo, any sample rate), backed by
// libswresample. A stream keeps its resampler state between conversions, so
// consecutive blocks of one capture join without clicks. A stream is used by
// one thread at a time. The microphone capture and the manager's background
// sound reach it through AcmConverter.
#pragma once
#include <cstdint>

#include "platform/acm/wave_format.h"

using MMRESULT = uint32_t;
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;

inline constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
inline constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;
inline constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

struct AcmStream;
using HACMSTREAM = AcmStream*;

struct ACMSTREAMHEADER {
  uint32_t cbStruct;
  uint32_t fdwStatus;
  uintptr_t dwUser;
  uint8_t* pbSrc;
  uint32_t cbSrcLength;
  uint32_t cbSrcLengthUsed;
  uintptr_t dwSrcUser;
  uint8_t* pbDst;
  uint32_t cbDstLength;
  uint32_t cbDstLengthUsed;
  uintptr_t dwDstUser;
  uint32_t dwReservedDriver[10];
};

// driver, filter, callback and instance must be null/0 and flags 0: only
// synchronous PCM conversion exists here.
MMRESULT acmStreamOpen(HACMSTREAM* stream, void* driver, const WAVEFORMATEX* source,
                       const WAVEFORMATEX* destination, void* filter, uintptr_t callback, uintptr_t instance,
                       uint32_t flags);
// With ACM_STREAMSIZEF_SOURCE: destination bytes that converting `bytes`
// source bytes may produce (including what the resampler holds back); with
// ACM_STREAMSIZEF_DESTINATION: source bytes that fill `bytes`.
MMRESULT acmStreamSize(HACMSTREAM stream, uint32_t bytes, uint32_t* result, uint32_t flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
MMRESULT acmStreamClose(HACMSTREAM stream, uint32_t flags);

namespace acm_testing {
// Streams opened successfully since the process started.
int StreamsOpened();
}  // namespace acm_testing
