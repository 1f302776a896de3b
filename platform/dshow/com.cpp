#include "platform/dshow/com.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/dshow/guids.h"

const IID IID_IUnknown = {0x5354A000u, 0x6476, 0x4C61, {0x79, 0x65, 0x72, 0, 0, 0, 0, 0}};

namespace dshow {
namespace {
std::atomic<long> g_liveObjects{0};

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const {
    return std::memcmp(&a, &b, sizeof(GUID)) < 0;
  }
};

struct ClassTable {
  std::mutex mutex;
  std::map<GUID, ClassFactory, GuidLess> factories;
  std::set<GUID, GuidLess> failing;
};

ClassTable& Classes() {
  static ClassTable table;
  return table;
}
}  // namespace

long LiveObjectCount() { return g_liveObjects.load(); }
void AddLiveObject() { ++g_liveObjects; }
void RemoveLiveObject() { --g_liveObjects; }

void RegisterClass(REFCLSID clsid, ClassFactory factory) {
  auto& t = Classes();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.factories[clsid] = std::move(factory);
}

void SetCreateFailsForTest(REFCLSID clsid, bool fails) {
  auto& t = Classes();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (fails)
    t.failing.insert(clsid);
  else
    t.failing.erase(clsid);
}

bool CreateFailsForTest(REFCLSID clsid) {
  auto& t = Classes();
  std::lock_guard<std::mutex> lock(t.mutex);
  return t.failing.count(clsid) != 0;
}

// Defined by the graph, builder and enumerator sources; registers them once.
void RegisterBuiltInClasses();
}  // namespace dshow

CUnknown::CUnknown(const char*) { dshow::AddLiveObject(); }
CUnknown::~CUnknown() { dshow::RemoveLiveObject(); }

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  // IID_IUnknown is answered by the derived classes with their primary
  // interface: CUnknown itself is not an interface.
  (void)riid;
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(++m_cRef); }

bool CUnknown::TryAddRef() {
  long r = m_cRef.load();
  while (r > 0)
    if (m_cRef.compare_exchange_weak(r, r + 1)) return true;
  return false;
}

ULONG CUnknown::NonDelegatingRelease() {
  const long left = --m_cRef;
  if (left == 0) {
    delete this;
    return 0;
  }
  return static_cast<ULONG>(left);
}

namespace dshow {
// One thread's apartment count. Shared with the holds made on that thread,
// which give their count back from other threads (and may outlive it).
struct ApartmentRecord {
  std::mutex lock;
  int depth = 0;
  DWORD mode = 0;

  HRESULT Initialize(DWORD coInit) {
    std::lock_guard<std::mutex> guard(lock);
    if (depth > 0) {
      if (mode != coInit) return RPC_E_CHANGED_MODE;
      ++depth;
      return S_FALSE;
    }
    mode = coInit;
    depth = 1;
    return S_OK;
  }
  void Uninitialize() {
    std::lock_guard<std::mutex> guard(lock);
    if (depth > 0) --depth;
  }
  int Depth() {
    std::lock_guard<std::mutex> guard(lock);
    return depth;
  }
};
}  // namespace dshow

namespace {
const std::shared_ptr<dshow::ApartmentRecord>& ThisThreadApartment() {
  thread_local const std::shared_ptr<dshow::ApartmentRecord> record = std::make_shared<dshow::ApartmentRecord>();
  return record;
}
}  // namespace

HRESULT CoInitializeEx(void*, DWORD coInit) { return ThisThreadApartment()->Initialize(coInit); }

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() { ThisThreadApartment()->Uninitialize(); }

int CoInitializeDepth() { return ThisThreadApartment()->Depth(); }

HRESULT dshow::ApartmentHold::Enter() {
  if (m_record) return S_FALSE;
  const HRESULT hr = CoInitialize(nullptr);
  if (SUCCEEDED(hr)) m_record = ThisThreadApartment();
  return hr;
}

void dshow::ApartmentHold::Leave() {
  if (!m_record) return;
  m_record->Uninitialize();
  m_record.reset();
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (CoInitializeDepth() == 0) return CO_E_NOTINITIALIZED;
  static std::once_flag once;
  std::call_once(once, dshow::RegisterBuiltInClasses);
  dshow::ClassFactory factory;
  {
    auto& t = dshow::Classes();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.failing.count(clsid)) return E_FAIL;
    auto it = t.factories.find(clsid);
    if (it == t.factories.end()) return REGDB_E_CLASSNOTREG;
    factory = it->second;
  }
  IUnknown* object = factory();
  if (!object) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

void* CoTaskMemAlloc(size_t size) { return std::malloc(size ? size : 1); }
void CoTaskMemFree(void* p) { std::free(p); }
