// Snapshot enumerators of a filter's pins and of a pin's media types. The
// pins enumerator holds a reference on the filter so the pins stay valid.
#pragma once
#include <vector>

#include "platform/dshow/base_filter.h"

class CEnumPins : public IEnumPins, public CUnknown {
 public:
  explicit CEnumPins(CBaseFilter* filter);
  ~CEnumPins() override;
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;

 private:
  CBaseFilter* m_filter;
  std::vector<IPin*> m_pins;
  size_t m_pos = 0;
};

class CEnumMediaTypes : public IEnumMediaTypes, public CUnknown {
 public:
  explicit CEnumMediaTypes(CBasePin* pin);
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;

 private:
  std::vector<CMediaType> m_types;
  size_t m_pos = 0;
};
