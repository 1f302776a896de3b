// CAudioRender, the sample-grabbing renderer at the end of a microphone
// capture graph: accepts PCM, writes the connected format into its owner's
// record and hands every sample to the owner on the streaming thread.
#pragma once
#include "platform/dshow/base_renderer.h"

class IAudioRenderNotify {
 public:
  virtual void OnAudioSample(IMediaSample* sample) = 0;

 protected:
  ~IAudioRenderNotify() = default;
};

// {7AB8D077-9C05-8892-B34B-C1E7373ADFD3}
inline constexpr CLSID CLSID_AudioRenderGrabber = {
    0x7AB8D077, 0x9C05, 0x8892, {0xB3, 0x4B, 0xC1, 0xE7, 0x37, 0x3A, 0xDF, 0xD3}};

class CAudioRender : public CBaseRenderer {
 public:
  // The object starts with one reference, its creator's.
  static CAudioRender* Create(IAudioRenderNotify* owner, WAVEFORMATEX* connectedFormat, HRESULT* hr);

  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;

 private:
  CAudioRender(IAudioRenderNotify* owner, WAVEFORMATEX* connectedFormat, HRESULT* hr);
  ~CAudioRender() override;

  IAudioRenderNotify* m_owner;
  WAVEFORMATEX* m_connectedFormat;
};
