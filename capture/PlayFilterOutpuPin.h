// CPlayFilterOutpuPin, the output pin of the preview's push source: the
// preview hands it each picture (PushFrame, on the publish manager's send
// thread) and the pin's own thread sends the newest one downstream as one
// sample while the graph streams. Pictures that arrive faster than the
// renderer draws replace each other: only the newest is ever sent.
#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "common/GrowBuffer.h"
#include "common/TVThread.h"
#include "platform/dshow/base_filter.h"

class CPlayFilterOutpuPin : public CBaseOutputPin, public CTVThread {
 public:
  // format: the pictures' size and bit count; they are sent at most
  // maxFrameLength bytes long.
  CPlayFilterOutpuPin(CBaseFilter* filter, std::recursive_mutex* lock, int maxFrameLength,
                      const BITMAPINFOHEADER& format);
  ~CPlayFilterOutpuPin() override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Active() override;
  HRESULT Inactive() override;
  using CBasePin::Run;

  // Keeps a copy of a top-down picture for the pin thread; false when it is
  // longer than the maximum frame length.
  bool PushFrame(const BYTE* rgb, int len);
  int MaxFrameLength() const { return m_maxFrameLength; }

 protected:
  void Run() override;  // the pin thread

 private:
  // Copies the newest picture into a sample and delivers it.
  void DeliverNewest();

  const int m_maxFrameLength;
  CMediaType m_type;
  // The picture's rows inside a pending frame: its type declares bottom-up
  // rows, the pictures arrive top-down.
  size_t m_rowBytes = 0;
  int m_rows = 0;

  std::atomic<bool> m_running{false};
  std::mutex m_cs;  // the pending frame and its flag
  std::condition_variable m_frameArrived;
  GrowBuffer m_pending;
  bool m_newFrame = false;
};
