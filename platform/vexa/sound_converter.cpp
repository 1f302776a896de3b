#include "platform/vexa/sound_converter.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

SoundConverter::SoundConverter(int outRate, int outChannels)
    : m_outRate(outRate), m_outChannels(outChannels) {}

SoundConverter::~SoundConverter() {
  swr_free(&m_resampler);
  av_channel_layout_uninit(&m_inLayout);
}

void SoundConverter::Reset() {
  swr_free(&m_resampler);  // rebuilt for the next frame
  m_inFormat = -1;
}

bool SoundConverter::Configure(const AVFrame* frame) {
  if (m_resampler && frame->sample_rate == m_inRate && frame->format == m_inFormat &&
      av_channel_layout_compare(&frame->ch_layout, &m_inLayout) == 0) {
    return true;
  }
  swr_free(&m_resampler);
  av_channel_layout_uninit(&m_inLayout);
  AVChannelLayout inLayout{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
  } else if (av_channel_layout_copy(&inLayout, &frame->ch_layout) < 0) {
    return false;
  }
  AVChannelLayout outLayout{};
  av_channel_layout_default(&outLayout, m_outChannels);
  const int rc = swr_alloc_set_opts2(&m_resampler, &outLayout, AV_SAMPLE_FMT_S16, m_outRate,
                                     &inLayout, static_cast<AVSampleFormat>(frame->format),
                                     frame->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&outLayout);
  if (rc < 0 || swr_init(m_resampler) < 0) {
    av_channel_layout_uninit(&inLayout);
    swr_free(&m_resampler);
    return false;
  }
  m_inLayout = inLayout;  // takes over its storage
  m_inRate = frame->sample_rate;
  m_inFormat = frame->format;
  return true;
}

bool SoundConverter::Convert(const AVFrame* frame, std::vector<uint8_t>* out) {
  if (frame->nb_samples <= 0 || frame->sample_rate <= 0 || !Configure(frame)) return false;
  const int capacity = swr_get_out_samples(m_resampler, frame->nb_samples);
  if (capacity <= 0) return true;
  const size_t frameBytes = static_cast<size_t>(m_outChannels) * 2;
  const size_t before = out->size();
  out->resize(before + static_cast<size_t>(capacity) * frameBytes);
  uint8_t* dst = out->data() + before;
  const int got = swr_convert(m_resampler, &dst, capacity,
                              const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  out->resize(before + static_cast<size_t>(got > 0 ? got : 0) * frameBytes);
  return got >= 0;
}
