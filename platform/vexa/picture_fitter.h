// Fits decoded pictures of any size and pixel format into a fixed output
// picture of packed B,G,R, top-down: scaled with the aspect ratio kept and
// centred on black, or stretched over the whole picture. Used by the file
// source's decode thread.
#pragma once
#include <cstdint>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

class PictureFitter {
 public:
  PictureFitter(int outWidth, int outHeight, bool stretch);
  ~PictureFitter();
  PictureFitter(const PictureFitter&) = delete;
  PictureFitter& operator=(const PictureFitter&) = delete;

  // Converts frame into *out (resized to outWidth x outHeight x 3). False
  // when the frame cannot be converted.
  bool Fit(const AVFrame* frame, std::vector<uint8_t>* out);

 private:
  int m_outWidth;
  int m_outHeight;
  bool m_stretch;
  SwsContext* m_scaler = nullptr;
  // Inner rectangle of the last geometry, to rebuild only on change.
  int m_srcWidth = 0, m_srcHeight = 0, m_srcFormat = -1;
  int m_fitX = 0, m_fitY = 0, m_fitWidth = 0, m_fitHeight = 0;
};
