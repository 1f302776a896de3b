#include "platform/vexa/picture_fitter.h"

#include <algorithm>
#include <cstring>

PictureFitter::PictureFitter(int outWidth, int outHeight, bool stretch)
    : m_outWidth(outWidth), m_outHeight(outHeight), m_stretch(stretch) {}

PictureFitter::~PictureFitter() { sws_freeContext(m_scaler); }

bool PictureFitter::Fit(const AVFrame* frame, std::vector<uint8_t>* out) {
  if (frame->width <= 0 || frame->height <= 0) return false;
  if (!m_scaler || frame->width != m_srcWidth || frame->height != m_srcHeight ||
      frame->format != m_srcFormat) {
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
    m_srcWidth = frame->width;
    m_srcHeight = frame->height;
    m_srcFormat = frame->format;
    if (m_stretch) {
      m_fitX = m_fitY = 0;
      m_fitWidth = m_outWidth;
      m_fitHeight = m_outHeight;
    } else {
      // Scale by the smaller ratio; the other side gets black borders.
      const int64_t byWidth = static_cast<int64_t>(m_outWidth) * m_srcHeight;
      const int64_t byHeight = static_cast<int64_t>(m_outHeight) * m_srcWidth;
      if (byWidth <= byHeight) {
        m_fitWidth = m_outWidth;
        m_fitHeight = static_cast<int>(std::max<int64_t>(1, byWidth / m_srcWidth));
      } else {
        m_fitHeight = m_outHeight;
        m_fitWidth = static_cast<int>(std::max<int64_t>(1, byHeight / m_srcHeight));
      }
      m_fitX = (m_outWidth - m_fitWidth) / 2;
      m_fitY = (m_outHeight - m_fitHeight) / 2;
    }
    m_scaler = sws_getContext(m_srcWidth, m_srcHeight, static_cast<AVPixelFormat>(m_srcFormat),
                              m_fitWidth, m_fitHeight, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                              nullptr, nullptr);
    if (!m_scaler) return false;
  }
  const size_t stride = static_cast<size_t>(m_outWidth) * 3;
  out->assign(stride * m_outHeight, 0);
  uint8_t* dst[4] = {out->data() + m_fitY * stride + static_cast<size_t>(m_fitX) * 3, nullptr,
                     nullptr, nullptr};
  int dstStride[4] = {static_cast<int>(stride), 0, 0, 0};
  return sws_scale(m_scaler, frame->data, frame->linesize, 0, m_srcHeight, dst, dstStride) > 0;
}
