#include "platform/dshow/graph_helpers.h"

#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "platform/dshow/guids.h"

bool ReadVideoHeader(const AM_MEDIA_TYPE& mt, BITMAPINFOHEADER* header) {
  if (!mt.pbFormat) return false;
  if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    std::memcpy(header, mt.pbFormat + offsetof(VIDEOINFOHEADER, bmiHeader), sizeof(*header));
    return true;
  }
  if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    std::memcpy(header, mt.pbFormat + offsetof(VIDEOINFOHEADER2, bmiHeader), sizeof(*header));
    return true;
  }
  return false;
}

DWORD RegisterGraphInRot(IUnknown* graph) {
  if (!graph) return 0;
  IRunningObjectTable* rot = nullptr;
  if (FAILED(GetRunningObjectTable(0, &rot))) return 0;
  wchar_t name[64];
  std::swprintf(name, 64, L"FilterGraph %08x pid %08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(graph)),
                static_cast<unsigned>(getpid()));
  DWORD cookie = 0;
  IMoniker* moniker = nullptr;
  if (SUCCEEDED(CreateItemMoniker(L"!", name, &moniker))) {
    DWORD registered = 0;
    if (SUCCEEDED(rot->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, graph, moniker, &registered))) cookie = registered;
    moniker->Release();
  }
  rot->Release();
  return cookie;
}

void RevokeGraphFromRot(DWORD* cookie) {
  if (!*cookie) return;
  IRunningObjectTable* rot = nullptr;
  if (SUCCEEDED(GetRunningObjectTable(0, &rot))) {
    rot->Revoke(*cookie);
    rot->Release();
  }
  *cookie = 0;
}
