// Media samples and the memory allocator that pins agree on when they
// connect. A sample handed out by GetBuffer holds its allocator alive and
// returns to it when its last reference is released.
#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dshow/interfaces.h"

class CMemAllocator;

class CMediaSample : public IMediaSample {
 public:
  CMediaSample(CMemAllocator* allocator, long size);
  ~CMediaSample();
  CMediaSample(const CMediaSample&) = delete;
  CMediaSample& operator=(const CMediaSample&) = delete;

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetPointer(BYTE** buffer) override;
  long GetSize() override;
  HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  HRESULT SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  HRESULT IsSyncPoint() override;
  HRESULT SetSyncPoint(int32_t isSyncPoint) override;
  HRESULT IsPreroll() override;
  HRESULT SetPreroll(int32_t isPreroll) override;
  long GetActualDataLength() override;
  HRESULT SetActualDataLength(long length) override;
  HRESULT GetMediaType(AM_MEDIA_TYPE** mt) override;
  HRESULT SetMediaType(AM_MEDIA_TYPE* mt) override;
  HRESULT IsDiscontinuity() override;
  HRESULT SetDiscontinuity(int32_t isDiscontinuity) override;
  HRESULT GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
  HRESULT SetMediaTime(LONGLONG* start, LONGLONG* stop) override;

  // Clears times, flags and length before the sample is handed out again.
  void ResetProperties();

 private:
  CMemAllocator* m_allocator;
  std::vector<BYTE> m_buffer;
  std::atomic<long> m_cRef{0};
  long m_actual = 0;
  bool m_hasTime = false, m_hasStop = false, m_hasMediaTime = false;
  REFERENCE_TIME m_start = 0, m_stop = 0;
  LONGLONG m_mediaStart = 0, m_mediaStop = 0;
  bool m_sync = false, m_preroll = false, m_discontinuity = false;
  std::unique_ptr<CMediaType> m_type;
};

class CMemAllocator : public IMemAllocator, public CUnknown {
 public:
  CMemAllocator();
  ~CMemAllocator() override;
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) override;
  HRESULT Commit() override;
  HRESULT Decommit() override;
  HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags) override;
  HRESULT ReleaseBuffer(IMediaSample* sample) override;

  // A new allocator with one reference.
  static IMemAllocator* Create();

 private:
  std::mutex m_mutex;
  std::condition_variable m_freed;
  ALLOCATOR_PROPERTIES m_props{};
  bool m_committed = false;
  int m_outstanding = 0;
  std::vector<std::unique_ptr<CMediaSample>> m_samples;
  std::vector<CMediaSample*> m_free;
};
