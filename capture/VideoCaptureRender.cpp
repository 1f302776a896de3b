#include "capture/VideoCaptureRender.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "capture/LevelBar.h"
#include "capture/ResizeRgb24Fit.h"
#include "platform/base/tick.h"

namespace {

void ReversePixels(BYTE* row, int width, int bytesPerPixel, BYTE* scratch) {
  for (int i = 0, j = width - 1; i < j; ++i, --j) {
    std::memcpy(scratch, row + i * bytesPerPixel, static_cast<size_t>(bytesPerPixel));
    std::memcpy(row + i * bytesPerPixel, row + j * bytesPerPixel, static_cast<size_t>(bytesPerPixel));
    std::memcpy(row + j * bytesPerPixel, scratch, static_cast<size_t>(bytesPerPixel));
  }
}

}  // namespace

CVideoCaptureRender::CVideoCaptureRender(int captureId, IVideoCaptureNotify* notify, HRESULT* hr, int frameRate,
                                         int bitDepth)
    : CVideoRenderRGB(CLSID_VideoCaptureRender, bitDepth, hr), m_notify(notify), m_id(captureId),
      m_frameRate(std::max(0, frameRate)), m_work(static_cast<size_t>(kWorkBytes)) {}

bool CVideoCaptureRender::SetOutputSize(int width, int height) {
  if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height * m_bitDepth / 8 > kWorkBytes) return false;
  m_outWidth = width;
  m_outHeight = height;
  return true;
}

void CVideoCaptureRender::SetLevelRatio(const float* ratio) {
  if (ratio) m_levelRatio = *ratio;
}

HRESULT CVideoCaptureRender::Run(REFERENCE_TIME start) {
  {
    // A restarted camera counts its times from 0 again; compared with the
    // last time of the previous run every frame would look too early.
    std::lock_guard<std::mutex> lock(m_RendererLock);
    m_haveLastStart = false;
  }
  return CVideoRenderRGB::Run(start);
}

void CVideoCaptureRender::MakeUpright(BYTE* frame, int width, int height, bool bottomUp) {
  const int bpp = m_bitDepth / 8;
  const size_t row = static_cast<size_t>(width) * bpp;
  BYTE scratch[4];
  if (!bottomUp) {
    for (int r = 0; r < height; ++r) ReversePixels(frame + r * row, width, bpp, scratch);
    return;
  }
  BYTE* spare = m_work.data();  // one row; rows longer than the buffer cannot be accepted
  for (int i = 0; i < height / 2; ++i) {
    BYTE* top = frame + i * row;
    BYTE* bottom = frame + static_cast<size_t>(height - 1 - i) * row;
    std::memcpy(spare, top, row);
    std::memcpy(top, bottom, row);
    std::memcpy(bottom, spare, row);
    ReversePixels(top, width, bpp, scratch);
    ReversePixels(bottom, width, bpp, scratch);
  }
  // The middle row of an odd height turns about its own centre.
  if (height % 2) ReversePixels(frame + static_cast<size_t>(height / 2) * row, width, bpp, scratch);
}

bool CVideoCaptureRender::Throttled(REFERENCE_TIME start) {
  const uint32_t now = platform::TickCount();
  ++m_frameCount;
  if (!m_windowStarted) {
    m_windowStarted = true;
    m_windowStart = now;
  }
  if (now - m_windowStart >= 5000) {
    if (m_frameCount / 5 > m_frameRate + 5) m_throttleOn = true;
    m_frameCount = 0;
    m_windowStart = now;
  }
  if (!m_throttleOn || !m_haveLastStart) return false;
  return start - m_lastStart < 10000000 / (m_frameRate + 5);
}

HRESULT CVideoCaptureRender::DoRenderSample(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  BYTE* frame = nullptr;
  const HRESULT got = sample->GetPointer(&frame);
  if (FAILED(got)) return got;
  const int width = m_header.biWidth, height = std::abs(m_header.biHeight);
  const int bpp = m_bitDepth / 8;
  // A short sample is not read past its end; a row longer than the work
  // buffer could not be turned.
  if (!frame || m_frameBytes <= 0 || sample->GetActualDataLength() < m_frameBytes ||
      static_cast<int64_t>(width) * bpp > kWorkBytes)
    return S_OK;

  MakeUpright(frame, width, height, m_header.biHeight > 0);

  const int outWidth = m_outWidth, outHeight = m_outHeight;
  int outLength = 0;
  if ((outWidth != width || outHeight != height) && m_bitDepth == 24) {
    outLength = outWidth * outHeight * 3;
    std::memset(m_work.data(), 0, static_cast<size_t>(outLength));
    const int srcSize[2] = {width, height}, dstSize[2] = {outWidth, outHeight};
    ResizeRgb24Fit(frame, srcSize, m_work.data(), dstSize);
  }

  REFERENCE_TIME start = 0, stop = 0;
  if (FAILED(sample->GetTime(&start, &stop))) {
    if (m_firstSample) {
      m_firstSample = false;
      m_firstTick = platform::TickCount();
      start = 0;
      stop = 1;
    } else {
      start = static_cast<REFERENCE_TIME>(platform::TickCount() - m_firstTick) * 10000;
      stop = start + 1;
    }
    sample->SetTime(&start, &stop);
  }

  if (m_bitDepth == 32)
    for (long i = 3; i < m_frameBytes; i += 4) frame[i] = 255;

  if (Throttled(start)) return S_OK;

  if (m_notify) m_notify->OnVideoRawData(m_id, frame, static_cast<int>(m_frameBytes), start / 10000, stop / 10000);
  if (m_levelBarOn && m_bitDepth == 24) {
    BITMAPINFOHEADER upright = m_header;
    upright.biHeight = height;
    DrawLevelBar(frame, &upright, m_levelRatio);
  }
  if (m_notify) {
    if (outLength > 0)
      m_notify->OnVideoData(m_id, m_work.data(), outLength, start / 10000, stop / 10000);
    else
      m_notify->OnVideoData(m_id, frame, static_cast<int>(m_frameBytes), start / 10000, stop / 10000);
  }
  m_lastStart = start;
  m_haveLastStart = true;
  return S_OK;
}

CVideoCaptureRender* CreateVideoCaptureRender(int captureId, IVideoCaptureNotify* notify, HRESULT* hr, int frameRate,
                                              int bitDepth) {
  if (dshow::CreateFailsForTest(CLSID_VideoCaptureRender)) {
    if (hr) *hr = E_FAIL;
    return nullptr;
  }
  auto* sink = new (std::nothrow) CVideoCaptureRender(captureId, notify, hr, frameRate, bitDepth);
  if (!sink) {
    if (hr) *hr = E_OUTOFMEMORY;
    return nullptr;
  }
  sink->AddRef();
  return sink;
}
