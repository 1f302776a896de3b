// Transform filter base: one input and one output pin; each received sample is
// transformed into a sample from the output pin's allocator and delivered.
// The camera graph's own converter derives from it.
#pragma once
#include <memory>

#include "platform/dshow/base_filter.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
 public:
  CTransformInputPin(CTransformFilter* filter, std::recursive_mutex* lock);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT CompleteConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;

 private:
  CTransformFilter* m_pTransform;
};

class CTransformOutputPin : public CBaseOutputPin {
 public:
  CTransformOutputPin(CTransformFilter* filter, std::recursive_mutex* lock);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* pin) override;
  HRESULT BreakConnect() override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  CTransformFilter* m_pTransform;
};

class CTransformFilter : public CBaseFilter {
 public:
  CTransformFilter(const wchar_t* name, IUnknown* outer, REFCLSID clsid);
  ~CTransformFilter() override;

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int n) override;
  HRESULT Stop() override;

  virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
  virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  virtual HRESULT GetMediaType(int position, CMediaType* mt) = 0;
  virtual HRESULT Transform(IMediaSample* in, IMediaSample* out) = 0;
  virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
  virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
  virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }
  virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
  virtual HRESULT Receive(IMediaSample* sample);

  CTransformInputPin* InputPin() { return m_pInput.get(); }
  CTransformOutputPin* OutputPin() { return m_pOutput.get(); }

 protected:
  std::recursive_mutex m_csFilter;
  std::mutex m_csReceive;
  std::unique_ptr<CTransformInputPin> m_pInput;
  std::unique_ptr<CTransformOutputPin> m_pOutput;
};
