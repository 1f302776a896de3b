// Picture in picture (TessalySdk): the holder's camera and the worker's
// screen frames composed on one picture, one of them small in the
// bottom-right corner. The manager reaches it through IPictureCompositor.
#include <cstring>
#include <memory>
#include <new>

#include "capture/ResizeRgb24Fit.h"
#include "strivon/IPictureCompositor.h"
#include "variant/CameraVideo.h"
#include "variant/PasteRgb24Image.h"

namespace {

// The small picture, and the camera's size and rate while the screen fills
// the picture.
constexpr int kInsetWidth = 480, kInsetHeight = 270;
constexpr int kInsetCameraRate = 10;
// The picture that is pasted small: room for the largest output.
constexpr int kCanvasBytes = 1920 * 1080 * 3;

class PictureInPictureCompositor final : public IPictureCompositor {
 public:
  explicit PictureInPictureCompositor(VideoCaptureFactory createCapture) : m_camera(std::move(createCapture)) {}

  int StartCamera(int screenMain, const char* name, int nameIndex, int nameCount, int frameRate, int outputWidth,
                  int outputHeight) override {
    if (screenMain > 0) return m_camera.init(name, nameIndex, nameCount, kInsetCameraRate, kInsetWidth, kInsetHeight);
    return m_camera.init(name, nameIndex, nameCount, frameRate, outputWidth, outputHeight);
  }

  void StopCamera() override { m_camera.Stop(); }

  void Compose(int screenMain, const BYTE* screen, const int screenSize[2], BYTE* out, const int outSize[2]) override {
    BYTE* canvas = m_canvas.get();
    std::memset(canvas, 0, kCanvasBytes);
    if (screenMain == kScreenMain) {
      ResizeRgb24Fit(screen, screenSize, out, outSize);
      int cameraSize[2] = {0, 0};
      if (m_camera.GetFrame(canvas, kCanvasBytes, &cameraSize[0], &cameraSize[1]) > 0)
        PasteRgb24Image(canvas, cameraSize, out, outSize, outSize[0] - cameraSize[0], outSize[1] - cameraSize[1]);
    } else if (screenMain == kCameraMain) {
      const int insetSize[2] = {kInsetWidth, kInsetHeight};
      ResizeRgb24Fit(screen, screenSize, canvas, insetSize);
      int cameraWidth = 0, cameraHeight = 0;
      m_camera.GetFrame(out, outSize[0] * outSize[1] * 3, &cameraWidth, &cameraHeight);
      // Pasted with or without a camera frame: the screen is never lost,
      // before the first camera frame it shows small on black.
      PasteRgb24Image(canvas, insetSize, out, outSize, outSize[0] - kInsetWidth, outSize[1] - kInsetHeight);
    }
  }

  void Release() override { delete this; }

 private:
  ~PictureInPictureCompositor() = default;

  std::unique_ptr<BYTE[]> m_canvas{new BYTE[kCanvasBytes]};
  CCameraVideo m_camera;
};

}  // namespace

IPictureCompositor* CreatePictureCompositor(VideoCaptureFactory createCapture) {
  try {
    return new PictureInPictureCompositor(std::move(createCapture));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
