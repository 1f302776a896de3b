#include "capture/CaptureDeviceFormat.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// The bitmap header inside a video type's block, or null.
BITMAPINFOHEADER* HeaderOf(AM_MEDIA_TYPE* mt, int64_t** frameTime) {
  if (!mt->pbFormat) return nullptr;
  if (mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
    if (frameTime) *frameTime = &vih->AvgTimePerFrame;
    return &vih->bmiHeader;
  }
  if (mt->formattype == FORMAT_VideoInfo2 && mt->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(mt->pbFormat);
    if (frameTime) *frameTime = &vih->AvgTimePerFrame;
    return &vih->bmiHeader;
  }
  return nullptr;
}

// Bytes of one frame of the header's size at its own bit count.
uint32_t ImageBytes(const BITMAPINFOHEADER& h) {
  return static_cast<uint32_t>(static_cast<int64_t>(h.biWidth) * std::abs(h.biHeight) * h.biBitCount / 8);
}

int PickAtOrAbove(std::vector<int> values, int wanted) {
  std::sort(values.begin(), values.end());
  for (int v : values)
    if (v >= wanted) return v;
  return values.back();
}

}  // namespace

HRESULT FindCaptureDevice(REFCLSID category, IBaseFilter** filter, const std::wstring& name, int nameIndex,
                          int nameCount, bool* countMatches) {
  *countMatches = false;
  *filter = nullptr;
  ICreateDevEnum* devEnum = nullptr;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                              reinterpret_cast<void**>(&devEnum))))
    return E_FAIL;
  IEnumMoniker* monikers = nullptr;
  const HRESULT hr = devEnum->CreateClassEnumerator(category, &monikers, 0);
  devEnum->Release();
  if (hr != S_OK || !monikers) {
    if (monikers) monikers->Release();
    return E_FAIL;
  }
  std::vector<IMoniker*> matches, exact;
  IMoniker* moniker = nullptr;
  ULONG fetched = 0;
  while (monikers->Next(1, &moniker, &fetched) == S_OK && fetched == 1) {
    bool match = false, same = false;
    IPropertyBag* bag = nullptr;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
      VARIANT v;
      VariantInit(&v);
      if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR && v.bstrVal) {
        match = name.empty() || std::wcsncmp(name.c_str(), v.bstrVal, 15) == 0;
        same = !name.empty() && name == v.bstrVal;
      }
      VariantClear(&v);
      bag->Release();
    }
    if (match) {
      matches.push_back(moniker);
      if (same) exact.push_back(moniker);
    } else {
      moniker->Release();
    }
  }
  monikers->Release();
  // The owner counts and indexes cameras by their whole names; names that
  // only share their first 15 characters are told apart by the whole name
  // when one matches it exactly.
  std::vector<IMoniker*> chosen = exact.empty() ? matches : exact;
  *countMatches = static_cast<int>(chosen.size()) == nameCount;
  HRESULT result = E_FAIL;
  if (nameIndex < 0 || nameIndex >= static_cast<int>(chosen.size())) {
    *countMatches = false;
  } else if (SUCCEEDED(chosen[static_cast<size_t>(nameIndex)]->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                                            reinterpret_cast<void**>(filter)))) {
    result = S_OK;
  }
  for (IMoniker* m : matches) m->Release();
  return result;
}

HRESULT ApplyCaptureFormat(ICaptureGraphBuilder2* builder, IBaseFilter* filter, BITMAPINFOHEADER* format,
                           int frameRate) {
  if (!filter || !builder || !format) return E_POINTER;
  frameRate = std::max(1, frameRate);
  IAMStreamConfig* config = nullptr;
  if (FAILED(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, filter, IID_IAMStreamConfig,
                                    reinterpret_cast<void**>(&config))) &&
      FAILED(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, filter, IID_IAMStreamConfig,
                                    reinterpret_cast<void**>(&config))))
    return E_FAIL;
  AM_MEDIA_TYPE* mt = nullptr;
  HRESULT hr = config->GetFormat(&mt);
  int64_t* frameTime = nullptr;
  BITMAPINFOHEADER* header = SUCCEEDED(hr) && mt ? HeaderOf(mt, &frameTime) : nullptr;
  if (!header) {
    if (mt) DeleteMediaType(mt);
    config->Release();
    return E_FAIL;
  }
  // Only the size and the frame time change: the camera keeps its own pixel
  // layout (and with it its bit count), which a converter then turns to RGB.
  *frameTime = 10000000 / frameRate;
  header->biWidth = format->biWidth;
  header->biHeight = header->biHeight < 0 ? -std::abs(format->biHeight) : std::abs(format->biHeight);
  header->biSizeImage = ImageBytes(*header);
  mt->lSampleSize = header->biSizeImage;
  hr = config->SetFormat(mt);
  DeleteMediaType(mt);
  if (FAILED(hr)) {
    AM_MEDIA_TYPE* chosen = nullptr;
    int width = format->biWidth, height = std::abs(format->biHeight);
    ChooseCaptureSize(builder, filter, &width, &height, &chosen);
    format->biWidth = width;
    format->biHeight = height;
    if (chosen) {
      int64_t* chosenTime = nullptr;
      if (BITMAPINFOHEADER* h = HeaderOf(chosen, &chosenTime)) {
        *chosenTime = 10000000 / frameRate;
        hr = config->SetFormat(chosen);
        *format = *h;
      }
      DeleteMediaType(chosen);
    }
  }
  config->Release();
  return hr;
}

void ChooseCaptureSize(ICaptureGraphBuilder2* builder, IBaseFilter* filter, int* width, int* height,
                       AM_MEDIA_TYPE** chosen) {
  *chosen = nullptr;
  IPin* pin = nullptr;
  if (FAILED(builder->FindPin(filter, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, 0, 0, &pin))) return;
  IEnumMediaTypes* types = nullptr;
  if (FAILED(pin->EnumMediaTypes(&types))) {
    pin->Release();
    return;
  }
  std::vector<int> widths, heights;
  AM_MEDIA_TYPE* mt = nullptr;
  ULONG fetched = 0;
  while (types->Next(1, &mt, &fetched) == S_OK && fetched == 1) {
    if (const BITMAPINFOHEADER* h = HeaderOf(mt, nullptr)) {
      widths.push_back(h->biWidth);
      heights.push_back(std::abs(h->biHeight));
    }
    DeleteMediaType(mt);
  }
  if (!widths.empty()) {
    *width = PickAtOrAbove(widths, *width);
    *height = PickAtOrAbove(heights, *height);
    types->Reset();
    while (!*chosen && types->Next(1, &mt, &fetched) == S_OK && fetched == 1) {
      const BITMAPINFOHEADER* h = HeaderOf(mt, nullptr);
      if (h && static_cast<int64_t>(h->biWidth) * std::abs(h->biHeight) == static_cast<int64_t>(*width) * *height)
        *chosen = mt;
      else
        DeleteMediaType(mt);
    }
  }
  types->Release();
  pin->Release();
}
