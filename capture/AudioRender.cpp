#include "capture/AudioRender.h"

#include <algorithm>
#include <cstring>
#include <new>

CAudioRender* CAudioRender::Create(IAudioRenderNotify* owner, WAVEFORMATEX* connectedFormat, HRESULT* hr) {
  auto* r = new (std::nothrow) CAudioRender(owner, connectedFormat, hr);
  if (r) r->AddRef();
  return r;
}

CAudioRender::CAudioRender(IAudioRenderNotify* owner, WAVEFORMATEX* connectedFormat, HRESULT* hr)
    : CBaseRenderer(CLSID_AudioRenderGrabber, nullptr, nullptr, hr), m_owner(owner),
      m_connectedFormat(connectedFormat) {}

CAudioRender::~CAudioRender() = default;

HRESULT CAudioRender::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAudioRender::CheckMediaType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  if (mt->majortype != MEDIATYPE_Audio) return E_INVALIDARG;
  if (mt->subtype != MEDIASUBTYPE_PCM && mt->subtype != MEDIASUBTYPE_WAVE) return E_INVALIDARG;
  return S_OK;
}

HRESULT CAudioRender::SetMediaType(const CMediaType* mt) {
  if (!mt) return E_POINTER;
  // A block shorter than the fixed 16 bytes cannot describe PCM; reading 18
  // bytes from it would run past its end.
  if (!mt->pbFormat || mt->cbFormat < 16) return E_INVALIDARG;
  if (m_connectedFormat) {
    WAVEFORMATEX wf{};
    std::memcpy(&wf, mt->pbFormat, std::min<size_t>(mt->cbFormat, sizeof(wf)));
    *m_connectedFormat = wf;
  }
  return S_OK;
}

HRESULT CAudioRender::DoRenderSample(IMediaSample* sample) {
  if (m_owner) m_owner->OnAudioSample(sample);
  return S_OK;
}
