#include "platform/acm/acm.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <atomic>
#include <new>

struct AcmStream {
  SwrContext* swr = nullptr;
  WAVEFORMATEX source{};
  WAVEFORMATEX destination{};
  ~AcmStream() { swr_free(&swr); }
};

namespace {

std::atomic<int> g_streamsOpened{0};

constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 384000;

// The interleaved sample format of a supported record, or AV_SAMPLE_FMT_NONE.
AVSampleFormat SampleFormatOf(const WAVEFORMATEX& f) {
  if (f.nChannels != 1 && f.nChannels != 2) return AV_SAMPLE_FMT_NONE;
  if (f.nSamplesPerSec < kMinRate || f.nSamplesPerSec > kMaxRate) return AV_SAMPLE_FMT_NONE;
  if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8) return AV_SAMPLE_FMT_NONE;
  if (f.wFormatTag == WAVE_FORMAT_PCM) {
    if (f.wBitsPerSample == 8) return AV_SAMPLE_FMT_U8;
    if (f.wBitsPerSample == 16) return AV_SAMPLE_FMT_S16;
  } else if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && f.wBitsPerSample == 32) {
    return AV_SAMPLE_FMT_FLT;
  }
  return AV_SAMPLE_FMT_NONE;
}

AVChannelLayout LayoutOf(const WAVEFORMATEX& f) {
  AVChannelLayout layout;
  av_channel_layout_default(&layout, f.nChannels);
  return layout;
}

}  // namespace

MMRESULT acmStreamOpen(HACMSTREAM* stream, void* driver, const WAVEFORMATEX* source,
                       const WAVEFORMATEX* destination, void* filter, uintptr_t callback, uintptr_t instance,
                       uint32_t flags) {
  if (!stream) return MMSYSERR_INVALPARAM;
  *stream = nullptr;
  if (!source || !destination || driver || filter || callback || instance) return MMSYSERR_INVALPARAM;
  if (flags != 0) return MMSYSERR_INVALFLAG;
  const AVSampleFormat inFormat = SampleFormatOf(*source);
  const AVSampleFormat outFormat = SampleFormatOf(*destination);
  if (inFormat == AV_SAMPLE_FMT_NONE || outFormat == AV_SAMPLE_FMT_NONE) return ACMERR_NOTPOSSIBLE;

  AcmStream* created = new (std::nothrow) AcmStream;
  if (!created) return MMSYSERR_NOMEM;
  created->source = *source;
  created->destination = *destination;
  AVChannelLayout inLayout = LayoutOf(*source);
  AVChannelLayout outLayout = LayoutOf(*destination);
  int result = swr_alloc_set_opts2(&created->swr, &outLayout, outFormat, static_cast<int>(destination->nSamplesPerSec),
                                   &inLayout, inFormat, static_cast<int>(source->nSamplesPerSec), 0, nullptr);
  // Mono goes to both channels at full level and stereo to mono as the
  // plain average, as a PCM converter is expected to do; swresample's
  // default would mix at -3 dB.
  if (result >= 0 && source->nChannels == 1 && destination->nChannels == 2) {
    const double upmix[] = {1.0, 1.0};
    result = swr_set_matrix(created->swr, upmix, 1);
  } else if (result >= 0 && source->nChannels == 2 && destination->nChannels == 1) {
    const double downmix[] = {0.5, 0.5};
    result = swr_set_matrix(created->swr, downmix, 2);
  }
  if (result >= 0) result = swr_init(created->swr);
  av_channel_layout_uninit(&inLayout);
  av_channel_layout_uninit(&outLayout);
  if (result < 0) {
    delete created;
    return ACMERR_NOTPOSSIBLE;
  }
  g_streamsOpened.fetch_add(1);
  *stream = created;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM stream, uint32_t bytes, uint32_t* result, uint32_t flags) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!result) return MMSYSERR_INVALPARAM;
  const int64_t inRate = stream->source.nSamplesPerSec;
  const int64_t outRate = stream->destination.nSamplesPerSec;
  const uint32_t inAlign = stream->source.nBlockAlign;
  const uint32_t outAlign = stream->destination.nBlockAlign;
  if (flags == ACM_STREAMSIZEF_SOURCE) {
    const int samples = static_cast<int>(bytes / inAlign);
    const int out = swr_get_out_samples(stream->swr, samples);
    if (out < 0) return ACMERR_NOTPOSSIBLE;
    const uint64_t needed = static_cast<uint64_t>(out) * outAlign;
    if (needed > UINT32_MAX) return ACMERR_NOTPOSSIBLE;
    *result = static_cast<uint32_t>(needed);
    return MMSYSERR_NOERROR;
  }
  if (flags == ACM_STREAMSIZEF_DESTINATION) {
    const int64_t samples = av_rescale_rnd(bytes / outAlign, inRate, outRate, AV_ROUND_DOWN);
    const uint64_t needed = static_cast<uint64_t>(samples) * inAlign;
    if (needed > UINT32_MAX) return ACMERR_NOTPOSSIBLE;
    *result = static_cast<uint32_t>(needed);
    return MMSYSERR_NOERROR;
  }
  return MMSYSERR_INVALFLAG;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER) || !header->pbSrc || !header->pbDst)
    return MMSYSERR_INVALPARAM;
  if (flags != 0) return MMSYSERR_INVALFLAG;
  header->fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
  header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header || header->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  if (flags & ~ACM_STREAMCONVERTF_BLOCKALIGN) return MMSYSERR_INVALFLAG;
  const uint32_t inAlign = stream->source.nBlockAlign;
  const uint32_t outAlign = stream->destination.nBlockAlign;
  // Only whole sample frames are converted; a partial one stays unused.
  const int inSamples = static_cast<int>(header->cbSrcLength / inAlign);
  const int outCapacity = static_cast<int>(header->cbDstLength / outAlign);
  const uint8_t* in[] = {header->pbSrc};
  uint8_t* out[] = {header->pbDst};
  const int produced = swr_convert(stream->swr, out, outCapacity, in, inSamples);
  if (produced < 0) return ACMERR_NOTPOSSIBLE;
  header->cbSrcLengthUsed = static_cast<uint32_t>(inSamples) * inAlign;
  header->cbDstLengthUsed = static_cast<uint32_t>(produced) * outAlign;
  header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header) return MMSYSERR_INVALPARAM;
  if (flags != 0) return MMSYSERR_INVALFLAG;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, uint32_t flags) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (flags != 0) return MMSYSERR_INVALFLAG;
  delete stream;
  return MMSYSERR_NOERROR;
}

namespace acm_testing {
int StreamsOpened() { return g_streamsOpened.load(); }
}  // namespace acm_testing
