// Class, interface, category and media-type identifiers of the capture layer.
// The values are this project's own; nothing outside the process sees them,
// except where a caller documents a fixed class id of its own filter.
#pragma once
#include "platform/dshow/com_types.h"

#define DSHOW_GUID(name, n) \
  inline constexpr GUID name = {0x5354A000u + (n), 0x6476, 0x4C61, {0x79, 0x65, 0x72, 0, 0, 0, 0, (n)}}

// Interfaces.
DSHOW_GUID(IID_IPersist, 1);
DSHOW_GUID(IID_IMediaFilter, 2);
DSHOW_GUID(IID_IBaseFilter, 3);
DSHOW_GUID(IID_IPin, 4);
DSHOW_GUID(IID_IEnumPins, 5);
DSHOW_GUID(IID_IEnumMediaTypes, 6);
DSHOW_GUID(IID_IMediaSample, 7);
DSHOW_GUID(IID_IMemAllocator, 8);
DSHOW_GUID(IID_IMemInputPin, 9);
DSHOW_GUID(IID_IAMStreamConfig, 10);
DSHOW_GUID(IID_IAMBufferNegotiation, 11);
DSHOW_GUID(IID_IFilterGraph, 12);
DSHOW_GUID(IID_IGraphBuilder, 13);
DSHOW_GUID(IID_IMediaControl, 14);
DSHOW_GUID(IID_IMediaEvent, 15);
DSHOW_GUID(IID_IMediaEventEx, 16);
DSHOW_GUID(IID_IMediaEventSink, 17);
DSHOW_GUID(IID_IMediaSeeking, 18);
DSHOW_GUID(IID_ICaptureGraphBuilder2, 19);
DSHOW_GUID(IID_ICreateDevEnum, 20);
DSHOW_GUID(IID_IEnumMoniker, 21);
DSHOW_GUID(IID_IMoniker, 22);
DSHOW_GUID(IID_IPropertyBag, 23);
DSHOW_GUID(IID_IRunningObjectTable, 24);
DSHOW_GUID(IID_IPinCategory, 25);
DSHOW_GUID(IID_IReferenceClock, 26);
DSHOW_GUID(IID_IEnumFilters, 27);

// Classes.
DSHOW_GUID(CLSID_FilterGraph, 40);
DSHOW_GUID(CLSID_CaptureGraphBuilder2, 41);
DSHOW_GUID(CLSID_SystemDeviceEnum, 42);
DSHOW_GUID(CLSID_DSoundRender, 43);
DSHOW_GUID(CLSID_AudioRender, 44);  // the wave-out style renderer
DSHOW_GUID(CLSID_Colour, 45);
DSHOW_GUID(CLSID_VideoMixingRenderer9, 46);
DSHOW_GUID(CLSID_PulseAudioCapture, 47);
DSHOW_GUID(CLSID_V4l2VideoCapture, 48);
DSHOW_GUID(CLSID_VirtualAudioCapture, 49);
DSHOW_GUID(CLSID_VirtualVideoCapture, 50);
DSHOW_GUID(CLSID_VirtualPlaceholder, 51);

// Device categories.
DSHOW_GUID(CLSID_VideoInputDeviceCategory, 60);
DSHOW_GUID(CLSID_AudioInputDeviceCategory, 61);
DSHOW_GUID(CLSID_AudioRendererCategory, 62);
DSHOW_GUID(CLSID_AudioCompressorCategory, 63);
DSHOW_GUID(CLSID_VideoCompressorCategory, 64);

// Pin categories.
DSHOW_GUID(PIN_CATEGORY_CAPTURE, 70);
DSHOW_GUID(PIN_CATEGORY_PREVIEW, 71);

// Media types, subtypes and format types.
DSHOW_GUID(MEDIATYPE_Audio, 80);
DSHOW_GUID(MEDIATYPE_Video, 81);
DSHOW_GUID(MEDIATYPE_Interleaved, 82);
DSHOW_GUID(MEDIASUBTYPE_PCM, 90);
DSHOW_GUID(MEDIASUBTYPE_WAVE, 91);
DSHOW_GUID(MEDIASUBTYPE_IEEE_FLOAT, 92);
DSHOW_GUID(MEDIASUBTYPE_RGB1, 93);
DSHOW_GUID(MEDIASUBTYPE_RGB4, 94);
DSHOW_GUID(MEDIASUBTYPE_RGB8, 95);
DSHOW_GUID(MEDIASUBTYPE_RGB555, 96);
DSHOW_GUID(MEDIASUBTYPE_RGB24, 97);
DSHOW_GUID(MEDIASUBTYPE_RGB32, 98);
DSHOW_GUID(MEDIASUBTYPE_YUY2, 99);
DSHOW_GUID(MEDIASUBTYPE_YV12, 100);
DSHOW_GUID(MEDIASUBTYPE_I420, 101);
DSHOW_GUID(FORMAT_WaveFormatEx, 110);
DSHOW_GUID(FORMAT_VideoInfo, 111);
DSHOW_GUID(FORMAT_VideoInfo2, 112);
DSHOW_GUID(FORMAT_None, 113);

// Time formats of IMediaSeeking.
DSHOW_GUID(TIME_FORMAT_MEDIA_TIME, 120);

#undef DSHOW_GUID
