// What the library proxy sends to the library when publishing starts: the
// publish address and the audio and video settings per source. Filled from
// built-in defaults, then from the publish parameters the login service
// handed out. Owned by CScreenCaptureProxy and used on the GUI thread only.
#pragma once
#include <string>

#include "app/PublishParams.h"

struct ProxyPublishSettings {
  std::string publishHost = "127.0.0.1:1935";
  std::string application = "live";
  std::string stream = "5e1c7a92d04b83f6a9e2c1d7b6f08a43";
  std::string userId = "1000";

  int desktopFrameRate = 5;
  int desktopBitrate = 0;
  int desktopKeyInterval = 30;
  int desktopQuality = 0;  // above 0 publishing starts with a variable bit rate
  int fileFrameRate = 25;
  int fileBitrate = 500000;
  int fileKeyInterval = 75;
  int fileQuality = 0;
  int cameraFrameRate = 15;
  int cameraBitrate = 400000;
  int cameraKeyInterval = 45;
  int cameraQuality = 0;
  int bFrameCount = 0;

  int outputWidth = 640;
  int outputHeight = 480;
  // The size asked for while a broadcast runs; it takes effect at the next start.
  int pendingWidth = 0;
  int pendingHeight = 0;

  int sampleRate = 44100;
  int audioBitrate = 32;
  int channels = 2;
  int bitsPerSample = 16;
  int volume = 80;
  bool mute = false;
};

// The publish address: each value replaces the kept one only when the
// parameters carry it; a message-queue host with its domain wins over the
// schedule server.
void ApplyLoginParams(const PublishParamValues& params, ProxyPublishSettings* settings);

// The publish address, then every rate, size and quality setting.
void ApplyPublishParams(const PublishParamValues& params, ProxyPublishSettings* settings);
