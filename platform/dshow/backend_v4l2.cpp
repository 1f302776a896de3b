#include "platform/dshow/backend_v4l2.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dshow/capture_pin.h"
#include "platform/dshow/utf8.h"

namespace dshow {
namespace {

int Ioctl(int fd, unsigned long request, void* arg) {
  int r;
  do r = ioctl(fd, request, arg);
  while (r < 0 && errno == EINTR);
  return r;
}

struct PixelFormat {
  uint32_t fourcc;
  const GUID* subtype;
  int bitCount;
};
const PixelFormat kFormats[] = {
    {V4L2_PIX_FMT_YUYV, &MEDIASUBTYPE_YUY2, 16},
    {V4L2_PIX_FMT_YVU420, &MEDIASUBTYPE_YV12, 12},
    {V4L2_PIX_FMT_YUV420, &MEDIASUBTYPE_I420, 12},
    {V4L2_PIX_FMT_BGR24, &MEDIASUBTYPE_RGB24, 24},
};

const PixelFormat* FormatOf(uint32_t fourcc) {
  for (const auto& f : kFormats)
    if (f.fourcc == fourcc) return &f;
  return nullptr;
}

const PixelFormat* FormatOf(const GUID& subtype) {
  for (const auto& f : kFormats)
    if (*f.subtype == subtype) return &f;
  return nullptr;
}

CMediaType VideoType(const PixelFormat& pf, int width, int height, int64_t timePerFrame) {
  CMediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = *pf.subtype;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = 1;
  VIDEOINFOHEADER vih{};
  vih.AvgTimePerFrame = timePerFrame;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = width;
  vih.bmiHeader.biHeight = height;
  vih.bmiHeader.biPlanes = 1;
  vih.bmiHeader.biBitCount = static_cast<uint16_t>(pf.bitCount);
  vih.bmiHeader.biCompression = pf.fourcc == V4L2_PIX_FMT_BGR24 ? 0 : pf.fourcc;
  vih.bmiHeader.biSizeImage = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * pf.bitCount / 8;
  mt.lSampleSize = vih.bmiHeader.biSizeImage;
  SetFormatBlock(&mt, &vih, sizeof(vih));
  return mt;
}

bool ReadVideoHeader(const AM_MEDIA_TYPE& mt, VIDEOINFOHEADER* vih) {
  if (mt.majortype != MEDIATYPE_Video || mt.formattype != FORMAT_VideoInfo || mt.cbFormat < sizeof(*vih) ||
      !mt.pbFormat)
    return false;
  std::memcpy(vih, mt.pbFormat, sizeof(*vih));
  return vih->bmiHeader.biWidth > 0 && vih->bmiHeader.biWidth <= 8192 && vih->bmiHeader.biHeight != 0 &&
         std::abs(vih->bmiHeader.biHeight) <= 8192;
}

// The node's discrete frame sizes per supported pixel format.
std::vector<CMediaType> ListTypes(int fd) {
  std::vector<CMediaType> types;
  v4l2_fmtdesc desc{};
  desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (desc.index = 0; desc.index < 64 && Ioctl(fd, VIDIOC_ENUM_FMT, &desc) == 0; ++desc.index) {
    const PixelFormat* pf = FormatOf(desc.pixelformat);
    if (!pf) continue;
    v4l2_frmsizeenum size{};
    size.pixel_format = desc.pixelformat;
    for (size.index = 0; size.index < 64 && Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
      if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        types.push_back(VideoType(*pf, static_cast<int>(size.discrete.width),
                                  static_cast<int>(size.discrete.height), 10000000 / 30));
      } else {
        types.push_back(VideoType(*pf, static_cast<int>(size.stepwise.max_width),
                                  static_cast<int>(size.stepwise.max_height), 10000000 / 30));
        break;
      }
    }
  }
  return types;
}

class CV4l2Pin : public CCapturePin {
 public:
  CV4l2Pin(CBaseFilter* filter, std::recursive_mutex* lock, std::string path)
      : CCapturePin(filter, lock, L"Capture"), m_path(std::move(path)) {
    const int fd = open(m_path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      m_types = ListTypes(fd);
      close(fd);
    }
    for (const auto& t : m_types) AddCapability(t);
    if (!m_types.empty()) SetCurrentFormat(m_types.front());
  }

 protected:
  HRESULT CheckFormat(const CMediaType* mt) override {
    VIDEOINFOHEADER vih;
    if (!ReadVideoHeader(*mt, &vih) || !FormatOf(mt->subtype)) return E_FAIL;
    for (const auto& t : m_types) {
      VIDEOINFOHEADER have;
      if (t.subtype == mt->subtype && ReadVideoHeader(t, &have) && have.bmiHeader.biWidth == vih.bmiHeader.biWidth &&
          std::abs(have.bmiHeader.biHeight) == std::abs(vih.bmiHeader.biHeight))
        return S_OK;
    }
    return E_FAIL;
  }
  bool UsesThread() const override { return true; }
  ALLOCATOR_PROPERTIES DefaultAllocator() override {
    const CMediaType mt = Format();
    VIDEOINFOHEADER vih{};
    ReadVideoHeader(mt, &vih);
    return {3, std::max<int32_t>(1, static_cast<int32_t>(vih.bmiHeader.biSizeImage)), 1, 0};
  }

  void CaptureLoop() override {
    if (!Stream()) m_pFilter->NotifyEvent(EC_ERRORABORT, E_FAIL, 0);
  }

 private:
  struct Mapped {
    void* data = MAP_FAILED;
    size_t length = 0;
  };

  bool Stream() {
    const CMediaType mt = Format();
    VIDEOINFOHEADER vih;
    const PixelFormat* pf = FormatOf(mt.subtype);
    if (!ReadVideoHeader(mt, &vih) || !pf) return false;
    const int fd = open(m_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = static_cast<uint32_t>(vih.bmiHeader.biWidth);
    fmt.fmt.pix.height = static_cast<uint32_t>(std::abs(vih.bmiHeader.biHeight));
    fmt.fmt.pix.pixelformat = pf->fourcc;
    fmt.fmt.pix.field = V4L2_FIELD_NONE;
    ok = Ioctl(fd, VIDIOC_S_FMT, &fmt) == 0 && fmt.fmt.pix.pixelformat == pf->fourcc &&
         fmt.fmt.pix.width == static_cast<uint32_t>(vih.bmiHeader.biWidth) &&
         fmt.fmt.pix.height == static_cast<uint32_t>(std::abs(vih.bmiHeader.biHeight));
    const int width = vih.bmiHeader.biWidth, height = std::abs(vih.bmiHeader.biHeight);
    // Drivers may pad rows; the graph expects them packed.
    const long packedLine = static_cast<long>(width) * (pf->bitCount == 12 ? 8 : pf->bitCount) / 8;
    const long frameBytes = pf->bitCount == 12 ? packedLine * height + 2 * (packedLine / 2) * (height / 2)
                                               : packedLine * height;
    const long line = std::max<long>(packedLine, static_cast<long>(fmt.fmt.pix.bytesperline));
    const long deviceBytes = pf->bitCount == 12 ? line * height + 2 * (line / 2) * (height / 2)
                                                : line * height;
    std::vector<BYTE> packed(line != packedLine ? static_cast<size_t>(frameBytes) : 0);
    if (ok) ApplyFrameTime(fd, vih.AvgTimePerFrame);

    v4l2_requestbuffers req{};
    req.count = 4;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    ok = ok && Ioctl(fd, VIDIOC_REQBUFS, &req) == 0 && req.count > 0;
    std::vector<Mapped> buffers(ok ? req.count : 0);
    for (uint32_t i = 0; ok && i < buffers.size(); ++i) {
      v4l2_buffer b{};
      b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      b.memory = V4L2_MEMORY_MMAP;
      b.index = i;
      ok = Ioctl(fd, VIDIOC_QUERYBUF, &b) == 0;
      if (!ok) break;
      buffers[i].length = b.length;
      buffers[i].data = mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, b.m.offset);
      ok = buffers[i].data != MAP_FAILED && Ioctl(fd, VIDIOC_QBUF, &b) == 0;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const bool streaming = ok && Ioctl(fd, VIDIOC_STREAMON, &type) == 0;
    ok = ok && streaming;
    int64_t firstUs = -1;
    while (ok && IsStreaming()) {
      pollfd p{fd, POLLIN, 0};
      const int r = poll(&p, 1, 50);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || (p.revents & (POLLERR | POLLHUP))) {
        ok = false;
        break;
      }
      if (r == 0) continue;
      v4l2_buffer b{};
      b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      b.memory = V4L2_MEMORY_MMAP;
      if (Ioctl(fd, VIDIOC_DQBUF, &b) < 0) {
        if (errno == EAGAIN) continue;
        ok = false;
        break;
      }
      if (b.index < buffers.size() && static_cast<long>(b.bytesused) >= deviceBytes &&
          static_cast<long>(buffers[b.index].length) >= deviceBytes) {
        const BYTE* frame = static_cast<const BYTE*>(buffers[b.index].data);
        if (!packed.empty()) {
          PackRows(frame, line, packedLine, height, pf->bitCount == 12, packed.data());
          frame = packed.data();
        }
        const int64_t us = static_cast<int64_t>(b.timestamp.tv_sec) * 1000000 + b.timestamp.tv_usec;
        if (firstUs < 0) firstUs = us;
        REFERENCE_TIME start = (us - firstUs) * 10, stop = start + vih.AvgTimePerFrame;
        DeliverBuffer(frame, frameBytes, &start, &stop);
      }
      if (Ioctl(fd, VIDIOC_QBUF, &b) < 0) ok = false;
    }
    if (streaming) Ioctl(fd, VIDIOC_STREAMOFF, &type);
    for (auto& m : buffers)
      if (m.data != MAP_FAILED) munmap(m.data, m.length);
    close(fd);
    return ok || !IsStreaming();
  }

  // The frame rate the graph asked for; drivers that cannot take it keep
  // their own, which the stamps then show.
  static void ApplyFrameTime(int fd, int64_t timePerFrame) {
    if (timePerFrame <= 0) return;
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(fd, VIDIOC_G_PARM, &parm) < 0 || !(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) return;
    parm.parm.capture.timeperframe.numerator = static_cast<uint32_t>(std::min<int64_t>(timePerFrame, UINT32_MAX));
    parm.parm.capture.timeperframe.denominator = 10000000;
    Ioctl(fd, VIDIOC_S_PARM, &parm);
  }

  // Copies a frame with rows of line bytes into packed rows; planar 4:2:0
  // frames have chroma rows of half the stride.
  static void PackRows(const BYTE* src, long line, long packedLine, int height, bool planar, BYTE* dst) {
    for (int r = 0; r < height; ++r) std::memcpy(dst + r * packedLine, src + r * line, static_cast<size_t>(packedLine));
    if (!planar) return;
    src += line * height;
    dst += packedLine * height;
    for (int plane = 0; plane < 2; ++plane)
      for (int r = 0; r < height / 2; ++r) {
        std::memcpy(dst, src, static_cast<size_t>(packedLine / 2));
        src += line / 2;
        dst += packedLine / 2;
      }
  }

  std::string m_path;
  std::vector<CMediaType> m_types;
};

class CV4l2Filter : public CCaptureFilter {
 public:
  CV4l2Filter(const std::wstring& name, const std::string& path)
      : CCaptureFilter(name.c_str(), CLSID_V4l2VideoCapture) {
    m_pin = std::make_unique<CV4l2Pin>(this, &m_csFilter, path);
  }
};

class CV4l2Backend : public DeviceBackend {
 public:
  void Enumerate(const GUID& category, std::vector<DeviceEntry>* out) override {
    if (category != CLSID_VideoInputDeviceCategory) return;
    std::vector<std::string> nodes;
    if (DIR* dir = opendir("/dev")) {
      while (dirent* e = readdir(dir))
        if (std::strncmp(e->d_name, "video", 5) == 0) nodes.push_back(std::string("/dev/") + e->d_name);
      closedir(dir);
    }
    // Numeric order: video2 before video10.
    std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
      return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (const std::string& path : nodes) {
      const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      v4l2_capability cap{};
      const bool ok = Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
      close(fd);
      if (!ok) continue;
      const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
      if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) continue;
      std::string card(reinterpret_cast<const char*>(cap.card), strnlen(reinterpret_cast<const char*>(cap.card), sizeof(cap.card)));
      const std::wstring friendly = Utf8ToWide(card.empty() ? path : card);
      out->push_back({friendly, [friendly, path](IBaseFilter** filter) {
                        auto* f = new CV4l2Filter(friendly, path);
                        return GetInterface(static_cast<IBaseFilter*>(f), reinterpret_cast<void**>(filter));
                      }});
    }
  }
};

}  // namespace

DeviceBackend& V4l2Backend() {
  static CV4l2Backend backend;
  return backend;
}

}  // namespace dshow
