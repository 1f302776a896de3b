// The logo filter behind IADFilter: a libavfilter graph between a buffer
// source "in" and a buffer sink "out", both packed B,G,R of one size. Pushes
// and pulls may come from the manager's capture threads, so every use of
// the graph is under one lock.
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include "platform/vexa/IADFilter.h"

namespace {

constexpr int kMaxSide = 8192;

class CADFilter final : public IADFilter {
 public:
  explicit CADFilter(IADFilterNotify* sink) : m_sink(sink) {}
  ~CADFilter() { Reset(); }

  int Init(const char* filterText, int width, int height, int bytesPerPixel) override {
    std::lock_guard lock(m_lock);
    Reset();
    if (!filterText || bytesPerPixel != 3 || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide) {
      Tell("filter init: bad arguments");
      return -1;
    }
    const int rc = Build(filterText, width, height);
    if (rc < 0) {
      Reset();
      return rc;
    }
    m_width = width;
    m_height = height;
    return 0;
  }

  int Push(BYTE* rgb, int byteCount) override {
    std::lock_guard lock(m_lock);
    if (!m_graph || !rgb || byteCount != FrameBytes()) return -1;
    AVFrame* frame = av_frame_alloc();
    if (!frame) return -2;
    frame->width = m_width;
    frame->height = m_height;
    frame->format = AV_PIX_FMT_BGR24;
    frame->pts = m_nextPts++;
    if (av_frame_get_buffer(frame, 0) < 0) {
      av_frame_free(&frame);
      return -2;
    }
    const size_t row = static_cast<size_t>(m_width) * 3;
    for (int y = 0; y < m_height; ++y) {
      std::memcpy(frame->data[0] + static_cast<size_t>(y) * frame->linesize[0], rgb + y * row, row);
    }
    const int rc = av_buffersrc_add_frame(m_source, frame);  // takes the frame's data
    av_frame_free(&frame);
    if (rc < 0) {
      Tell("filter push failed");
      return -3;
    }
    return 0;
  }

  int Pull(BYTE* rgb, int* byteCount) override {
    std::lock_guard lock(m_lock);
    if (!m_graph || !rgb || !byteCount) return -1;
    if (!m_pending) {
      m_pending = av_frame_alloc();
      if (!m_pending) return -1;
      if (av_buffersink_get_frame(m_output, m_pending) < 0) {
        av_frame_free(&m_pending);
        return -1;  // nothing ready
      }
    }
    // The graph text may change the size; only whole pictures go out.
    const size_t row = static_cast<size_t>(m_pending->width) * 3;
    const int64_t need = static_cast<int64_t>(row) * m_pending->height;
    if (m_pending->format != AV_PIX_FMT_BGR24 || need > INT32_MAX) {
      av_frame_free(&m_pending);
      return -3;
    }
    if (*byteCount < need) return -2;  // kept for a larger buffer
    for (int y = 0; y < m_pending->height; ++y) {
      // Signed row steps: a flipping graph hands out negative line sizes.
      std::memcpy(rgb + y * row, m_pending->data[0] + static_cast<ptrdiff_t>(y) * m_pending->linesize[0], row);
    }
    av_frame_free(&m_pending);
    *byteCount = static_cast<int>(need);
    return static_cast<int>(need);
  }

  void Release() override { delete this; }

 private:
  int FrameBytes() const { return m_width * m_height * 3; }

  void Tell(const std::string& text) {
    if (m_sink) m_sink->OnADFilterMessage(text.c_str());
  }

  void Reset() {
    av_frame_free(&m_pending);
    avfilter_graph_free(&m_graph);  // frees the filters too
    m_source = m_output = nullptr;
    m_width = m_height = 0;
    m_nextPts = 0;
  }

  int Build(const char* text, int width, int height) {
    m_graph = avfilter_graph_alloc();
    if (!m_graph) return -2;
    const std::string args = "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
                             ":pix_fmt=" + std::to_string(AV_PIX_FMT_BGR24) +
                             ":time_base=1/25:pixel_aspect=1/1";
    if (avfilter_graph_create_filter(&m_source, avfilter_get_by_name("buffer"), "in", args.c_str(),
                                     nullptr, m_graph) < 0) {
      Tell("filter init: buffer source failed");
      return -2;
    }
    m_output = avfilter_graph_alloc_filter(m_graph, avfilter_get_by_name("buffersink"), "out");
    const enum AVPixelFormat formats[] = {AV_PIX_FMT_BGR24, AV_PIX_FMT_NONE};
    if (!m_output ||
        av_opt_set_int_list(m_output, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN) < 0 ||
        avfilter_init_str(m_output, nullptr) < 0) {
      Tell("filter init: buffer sink failed");
      return -2;
    }
    AVFilterInOut* outputs = avfilter_inout_alloc();
    AVFilterInOut* inputs = avfilter_inout_alloc();
    int rc = -2;
    if (outputs && inputs) {
      outputs->name = av_strdup("in");
      outputs->filter_ctx = m_source;
      inputs->name = av_strdup("out");
      inputs->filter_ctx = m_output;
      rc = avfilter_graph_parse_ptr(m_graph, text, &inputs, &outputs, nullptr);
      if (rc >= 0) rc = avfilter_graph_config(m_graph, nullptr);
      if (rc < 0) {
        char reason[AV_ERROR_MAX_STRING_SIZE] = {0};
        av_strerror(rc, reason, sizeof(reason));
        Tell(std::string("filter init: ") + reason);
        rc = -3;
      }
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    return rc < 0 ? rc : 0;
  }

  IADFilterNotify* m_sink;
  std::mutex m_lock;
  AVFilterGraph* m_graph = nullptr;
  AVFilterContext* m_source = nullptr;
  AVFilterContext* m_output = nullptr;
  AVFrame* m_pending = nullptr;
  int m_width = 0;
  int m_height = 0;
  int64_t m_nextPts = 0;
};

}  // namespace

IADFilter* CreateFilter(IADFilterNotify* sink) { return new CADFilter(sink); }
