// The component-object core of the capture layer: reference-counted objects
// reached through QueryInterface, per-thread CoInitialize counting, object
// creation by class id, task memory, and a live-object counter that tests use
// to prove that a capture leaves nothing behind.
#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

#include "platform/dshow/com_types.h"

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

extern const IID IID_IUnknown;

// Implementation base: one reference count per object, freed at zero. Derived
// classes answer their interfaces in NonDelegatingQueryInterface and expose the
// three IUnknown operations with DECLARE_IUNKNOWN (aggregation is not supported).
class CUnknown {
 public:
  explicit CUnknown(const char* name = nullptr);
  virtual ~CUnknown();
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv);
  ULONG NonDelegatingAddRef();
  ULONG NonDelegatingRelease();
  // Takes a reference only while the object is not already being destroyed;
  // for registries that list objects without owning them.
  bool TryAddRef();

 protected:
  std::atomic<long> m_cRef{0};
};

#define DECLARE_IUNKNOWN                                                                   \
  HRESULT QueryInterface(REFIID riid, void** ppv) override {                               \
    return NonDelegatingQueryInterface(riid, ppv);                                        \
  }                                                                                        \
  ULONG AddRef() override { return NonDelegatingAddRef(); }                                \
  ULONG Release() override { return NonDelegatingRelease(); }

// Hands out iface with one reference taken.
template <typename I>
HRESULT GetInterface(I* iface, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = iface;
  iface->AddRef();
  return S_OK;
}

template <typename I>
void SafeRelease(I** p) {
  if (*p) {
    (*p)->Release();
    *p = nullptr;
  }
}

namespace dshow {
// Objects of the layer alive right now (filters, pins' owners, samples,
// allocators, graphs, monikers, enumerators, property bags).
long LiveObjectCount();
void AddLiveObject();
void RemoveLiveObject();
}  // namespace dshow

// Apartment bookkeeping per thread, as the callers expect it: the first
// CoInitialize of a thread gives S_OK, later ones S_FALSE, one in another
// apartment mode RPC_E_CHANGED_MODE; each successful call needs one
// CoUninitialize.
enum { COINIT_APARTMENTTHREADED = 0x2, COINIT_MULTITHREADED = 0x0 };
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();
// Number of outstanding successful CoInitialize calls on this thread.
int CoInitializeDepth();

namespace dshow {
struct ApartmentRecord;

// A CoInitialize owned by an object (or a scope) rather than by a thread's
// call sequence. Enter initialises the calling thread; Leave gives that
// count back to the same thread whichever thread calls it, so an object made
// on the worker thread and released on the host's thread leaves both counts
// as they were. The destructor leaves.
class ApartmentHold {
 public:
  ApartmentHold() = default;
  ~ApartmentHold() { Leave(); }
  ApartmentHold(const ApartmentHold&) = delete;
  ApartmentHold& operator=(const ApartmentHold&) = delete;

  // CoInitialize on the calling thread; its result. Once per hold.
  HRESULT Enter();
  // Undoes a successful Enter; nothing otherwise.
  void Leave();

 private:
  std::shared_ptr<ApartmentRecord> m_record;
};
}  // namespace dshow

enum { CLSCTX_INPROC_SERVER = 0x1, CLSCTX_INPROC_HANDLER = 0x2, CLSCTX_LOCAL_SERVER = 0x4,
       CLSCTX_REMOTE_SERVER = 0x10 };
// Creates a registered class; CO_E_NOTINITIALIZED on a thread without
// CoInitialize; CLASS_E_NOAGGREGATION with an outer object.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv);

namespace dshow {
// Factory of one class: returns a new object with one reference, or null.
using ClassFactory = std::function<IUnknown*()>;
void RegisterClass(REFCLSID clsid, ClassFactory factory);
// Test hook: while set, creating clsid fails with E_FAIL. Filters that are
// made directly rather than through CoCreateInstance ask CreateFailsForTest.
void SetCreateFailsForTest(REFCLSID clsid, bool fails);
bool CreateFailsForTest(REFCLSID clsid);
}  // namespace dshow

void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* p);
