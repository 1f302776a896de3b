#include "capture/PcmConverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <climits>
#include <cstring>

namespace {

AVSampleFormat SampleFormatOf(const WAVEFORMATEX& wf) {
  if (wf.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) return wf.wBitsPerSample == 32 ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_NONE;
  if (wf.wFormatTag != WAVE_FORMAT_PCM) return AV_SAMPLE_FMT_NONE;
  switch (wf.wBitsPerSample) {
    case 8: return AV_SAMPLE_FMT_U8;
    case 16: return AV_SAMPLE_FMT_S16;
    case 32: return AV_SAMPLE_FMT_S32;
    default: return AV_SAMPLE_FMT_NONE;
  }
}

bool Usable(const WAVEFORMATEX& wf) {
  return SampleFormatOf(wf) != AV_SAMPLE_FMT_NONE && wf.nChannels >= 1 && wf.nChannels <= 8 &&
         wf.nSamplesPerSec >= 1000 && wf.nSamplesPerSec <= 384000 &&
         wf.nBlockAlign == wf.nChannels * wf.wBitsPerSample / 8;
}

bool SameFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

}  // namespace

PcmConverter::~PcmConverter() { Close(); }

void PcmConverter::Close() {
  if (m_swr) swr_free(&m_swr);
  m_swr = nullptr;
  m_failed = false;
  m_src = WAVEFORMATEX{};
  m_dst = WAVEFORMATEX{};
}

bool PcmConverter::Open(const WAVEFORMATEX& src, const WAVEFORMATEX& dst) {
  if ((m_swr || m_failed) && SameFormat(src, m_src) && SameFormat(dst, m_dst)) return m_swr != nullptr;
  Close();
  m_src = src;
  m_dst = dst;
  if (!Usable(src) || !Usable(dst)) {
    m_failed = true;
    return false;
  }
  AVChannelLayout inLayout, outLayout;
  av_channel_layout_default(&inLayout, src.nChannels);
  av_channel_layout_default(&outLayout, dst.nChannels);
  const int r = swr_alloc_set_opts2(&m_swr, &outLayout, SampleFormatOf(dst), static_cast<int>(dst.nSamplesPerSec),
                                    &inLayout, SampleFormatOf(src), static_cast<int>(src.nSamplesPerSec), 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  av_channel_layout_uninit(&outLayout);
  if (r < 0 || !m_swr || swr_init(m_swr) < 0) {
    if (m_swr) swr_free(&m_swr);
    m_swr = nullptr;
    m_failed = true;
    return false;
  }
  return true;
}

int PcmConverter::OutputBound(const WAVEFORMATEX& src, int srcLength, const WAVEFORMATEX& dst) {
  if (srcLength < 1 || !Open(src, dst)) return 0;
  const int inSamples = srcLength / src.nBlockAlign;
  const int outSamples = swr_get_out_samples(m_swr, inSamples);
  if (outSamples < 0) return 0;
  const long long bytes = static_cast<long long>(outSamples) * dst.nBlockAlign;
  return bytes > INT_MAX ? 0 : static_cast<int>(bytes);
}

bool PcmConverter::Convert(const WAVEFORMATEX& src, const BYTE* srcData, int srcLength, const WAVEFORMATEX& dst,
                           BYTE* dstBuffer, int dstCapacity, int* dstLength) {
  if (srcLength < 1 || !srcData || !dstBuffer || dstCapacity < 1 || !dstLength) return false;
  const int need = OutputBound(src, srcLength, dst);
  if (need <= 0 || dstCapacity < need) return false;
  const uint8_t* in[1] = {srcData};
  uint8_t* out[1] = {dstBuffer};
  const int produced = swr_convert(m_swr, out, dstCapacity / dst.nBlockAlign, in, srcLength / src.nBlockAlign);
  if (produced < 0) return false;
  *dstLength = produced * dst.nBlockAlign;
  return true;
}
