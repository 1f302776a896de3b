#include "capture/VideoCapture.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "capture/CaptureDeviceFormat.h"
#include "capture/ColorSpaceConverter.h"
#include "capture/TextConvert.h"
#include "capture/VideoCaptureRender.h"
#include "common/Log.h"

IVideoCapture* CreateVideoCapture(IVideoCaptureNotify* notify, int id, const char* deviceName, int nameIndex,
                                  int nameCount, int* width, int* height, int* frameRate, bool* ok, std::string* err) {
  std::string scratch;
  if (!err) err = &scratch;
  bool built = false;
  auto* capture = width && height && frameRate ? new (std::nothrow) CVideoCapture(notify, id) : nullptr;
  if (capture)
    built = capture->Create(AnsiToWide(deviceName ? deviceName : ""), nameIndex, nameCount, *width, *height,
                            *frameRate, err);
  if (ok) *ok = built;
  if (!built) {
    err->append("HD videocapture create err");
    STRIVON_LOG(kLogWarning, "CreateVideoCapture", "%s", err->c_str());
    delete capture;
    return nullptr;
  }
  return capture;
}

CVideoCapture::CVideoCapture(IVideoCaptureNotify* notify, int captureId) : m_id(captureId) { m_notify = notify; }

CVideoCapture::~CVideoCapture() {
  // The event thread calls this object's OnError: it ends first.
  ReleaseGraph();
  if (m_sink) m_sink->Release();
  SafeRelease(&m_captureFilter);
  SafeRelease(&m_ownConverter);
  SafeRelease(&m_systemConverter);
}

bool CVideoCapture::Create(const std::wstring& deviceName, int nameIndex, int nameCount, int width, int height,
                           int frameRate, std::string* err) {
  auto fail = [&](const char* text) {
    err->append(text);
    return false;
  };
  if (!CreateGraph(err)) return false;

  m_format.biSize = sizeof(BITMAPINFOHEADER);
  m_format.biWidth = width;
  m_format.biHeight = height;
  m_format.biPlanes = 1;
  m_format.biBitCount = 24;
  m_format.biSizeImage = static_cast<uint32_t>(width * height * 3);
  HRESULT hr = S_OK;
  m_ownConverter = CreateColorSpaceConverter_YUV2RGB(&hr, 24);
  if (!m_ownConverter || FAILED(hr)) {
    char text[160];
    std::snprintf(text, sizeof(text), "CreateColorSpaceConverter_YUV2RGB error :hr:0x%x:m_pColorSpaceConverter_YUV2RGB:%x",
                  static_cast<unsigned>(E_FAIL), static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_ownConverter)));
    *err = text;
    return false;
  }
  if (FAILED(CoCreateInstance(CLSID_Colour, nullptr,
                              CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                              IID_IBaseFilter, reinterpret_cast<void**>(&m_systemConverter)))) {
    *err = "CreatedefaultColorSpaceConverter error";
    return false;
  }

  bool countMatches = false;
  const HRESULT found =
      FindCaptureDevice(CLSID_VideoInputDeviceCategory, &m_captureFilter, deviceName, nameIndex, nameCount, &countMatches);
  if (FAILED(found)) fail("Lumatrix VideoCapture Filter build err");
  if (!countMatches && m_notify)
    m_notify->OnHDVideoCapNotify(
        "VideoCapture find the sum of devices with same name is different from the sum passed in", 1);
  if (FAILED(found)) return false;

  if (FAILED(ApplyCaptureFormat(m_builder, m_captureFilter, &m_format, frameRate)))
    return fail("Lumatrix VideoCapture set video format err");
  if (FAILED(m_graph->AddFilter(m_captureFilter, L"视频捕获")))
    return fail("Lumatrix VideoCapture add VideoCaptureFilter err");
  if (FAILED(m_graph->AddFilter(m_ownConverter, L"ColorSpaceConverter_YUV2RGB")))
    return fail("Add ColorSpaceConverter_YUV2RGB Filter error");
  if (FAILED(m_graph->AddFilter(m_systemConverter, L"ColorSpaceConverter")))
    return fail("Add ColorSpaceConverter Filter error");

  m_sink = CreateVideoCaptureRender(m_id, m_notify, &hr, frameRate, 24);
  // An output the sink's buffer cannot hold would be written past its end.
  if (!m_sink || FAILED(hr) || !m_sink->SetOutputSize(width, height))
    return fail("Lumatrix VideoCapture build video render err");
  if (FAILED(m_graph->AddFilter(m_sink, L"Video Capture Render"))) return fail("Lumatrix VideoCapture add videorender err");
  if (FAILED(m_builder->RenderStream(nullptr, nullptr, m_captureFilter, nullptr, m_sink)))
    return fail("Lumatrix VideoCapture videocapturefilter and videorenderfilter connect err");
  return true;
}

bool CVideoCapture::Start() {
  std::lock_guard<std::mutex> lock(m_apiLock);
  if (!m_control) return false;
  const HRESULT hr = m_control->Run();
  if (FAILED(hr)) {
    OnError(2, 4, FormatError(L"Run Error", hr).c_str());
    return false;
  }
  return true;
}

bool CVideoCapture::Stop() {
  std::lock_guard<std::mutex> lock(m_apiLock);
  return StopGraph();
}

void CVideoCapture::SetAudioLevel(const short* pcm, int byteCount) {
  std::lock_guard<std::mutex> lock(m_apiLock);
  const float left = m_meter.Left(pcm, byteCount);
  const float right = m_meter.Right(pcm, byteCount);
  m_levelRatio = std::max(left, right);
  if (m_sink) m_sink->SetLevelRatio(&m_levelRatio);
}

void CVideoCapture::EnableLevelBar(const bool* on) {
  if (on && m_sink) m_sink->EnableLevelBar(*on);
}

void CVideoCapture::Release() {
  Stop();
  delete this;
}

void CVideoCapture::OnError(int level, int, const wchar_t* text) {
  if (level != 2) return;
  const std::string narrow = WideToAnsi(text ? text : L"");
  STRIVON_LOG(kLogWarning, "CVideoCapture::OnError", "%s", narrow.c_str());
  if (m_notify) m_notify->OnHDVideoCapNotify(narrow, 0);
}
