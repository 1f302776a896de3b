// Renderer base: a filter with one input pin that hands each received sample
// to DoRenderSample while the filter is paused or running. Live capture graphs
// have no clock to wait for, so samples are rendered as they arrive. Stop waits
// for a sample being rendered, so no DoRenderSample runs after it returns.
#pragma once
#include <memory>
#include <mutex>

#include "platform/dshow/base_filter.h"

class CBaseRenderer;

class CRendererInputPin : public CBaseInputPin {
 public:
  CRendererInputPin(CBaseRenderer* renderer, std::recursive_mutex* lock, const wchar_t* name);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT BreakConnect() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;

 private:
  CBaseRenderer* m_pRenderer;
};

class CBaseRenderer : public CBaseFilter {
 public:
  CBaseRenderer(REFCLSID clsid, const wchar_t* name, IUnknown* outer, HRESULT* hr);
  ~CBaseRenderer() override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int n) override;
  HRESULT Stop() override;

  virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
  virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
  virtual HRESULT SetMediaType(const CMediaType*) { return S_OK; }
  virtual HRESULT BreakConnect() { return S_OK; }
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();

 protected:
  std::recursive_mutex m_InterfaceLock;
  std::mutex m_RendererLock;  // held while a sample is rendered
  std::unique_ptr<CRendererInputPin> m_pInputPin;
};
