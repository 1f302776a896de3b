#include "app/ProxySettings.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

// The parameters come from a file and a server reply; a product out of range
// must not wrap into a negative interval.
int ClampedProduct(int a, int b) {
  return static_cast<int>(std::clamp<int64_t>(int64_t{a} * b, INT_MIN, INT_MAX));
}

}  // namespace

void ApplyLoginParams(const PublishParamValues& params, ProxyPublishSettings* settings) {
  if (!params.strScheduleSvr.empty()) settings->publishHost = params.strScheduleSvr;
  if (!params.PublishRoomInfo.empty()) settings->application = params.PublishRoomInfo;
  if (!params.stream.empty()) settings->stream = params.stream;
  if (!params.strmqPubUrlPub.empty()) settings->publishHost = params.strmqPubUrlPub + params.strDomain;
}

void ApplyPublishParams(const PublishParamValues& params, ProxyPublishSettings* settings) {
  ApplyLoginParams(params, settings);
  settings->desktopFrameRate = params.VDFPS;
  settings->fileFrameRate = params.VFFPS;
  settings->cameraFrameRate = params.VCFPS;
  settings->desktopBitrate = params.VDBitRate;
  settings->outputWidth = settings->pendingWidth = params.VDWidth;
  settings->outputHeight = settings->pendingHeight = params.VDHeight;
  settings->desktopKeyInterval = ClampedProduct(params.VDFPS, params.VDIntervalSencond);
  settings->fileKeyInterval = ClampedProduct(params.VFFPS, params.VDIntervalSencond);
  settings->cameraKeyInterval = ClampedProduct(params.VCFPS, params.VDIntervalSencond);
  settings->bFrameCount = params.BFrameCount;
  settings->desktopQuality = params.Quality;
  settings->sampleRate = params.ADSampleRate;
  settings->audioBitrate = params.ADBitRate;
  settings->channels = params.ADChannels;
  settings->bitsPerSample = params.ADBitperSample;
  settings->cameraBitrate = params.VCBitRate;
  settings->cameraQuality = params.CQuality;
  settings->fileBitrate = params.VFBitRate;
  settings->fileQuality = params.FQuality;
}
