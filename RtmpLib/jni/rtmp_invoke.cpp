// The command sequence (connect, releaseStream, FCPublish, createStream,
// publish), the pending-call list that matches "_result" replies to what was
// asked, and the handling of the server's commands and status codes.
#include <algorithm>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_amf.h"
#include "RtmpLib/jni/rtmp_log.h"

namespace {

constexpr size_t kConnectBufferSize = 4096;
constexpr size_t kCommandBufferSize = 1024;
const char* const kFlashVer = "WIN 10,0,32,18";

}  // namespace

void CRtmp::AddPendingCall(const std::string& method, int transaction) {
  std::lock_guard<std::mutex> lock(m_pendingLock);
  m_pendingCalls.push_back({method, transaction});
}

bool CRtmp::TakePendingCall(int transaction, std::string* method) {
  std::lock_guard<std::mutex> lock(m_pendingLock);
  const auto it = std::find_if(m_pendingCalls.begin(), m_pendingCalls.end(),
                               [transaction](const PendingCall& call) { return call.transaction == transaction; });
  if (it == m_pendingCalls.end()) return false;
  *method = it->method;
  m_pendingCalls.erase(it);
  return true;
}

void CRtmp::DropPendingCall(const std::string& method) {
  std::lock_guard<std::mutex> lock(m_pendingLock);
  const auto it = std::find_if(m_pendingCalls.begin(), m_pendingCalls.end(),
                               [&method](const PendingCall& call) { return call.method == method; });
  if (it != m_pendingCalls.end()) m_pendingCalls.erase(it);
}

bool CRtmp::SendConnectPacket(const rtmp::RtmpUrl& url, const std::string& tcUrl) {
  rtmp::AmfWriter amf(kConnectBufferSize);
  amf.String("connect").Number(++m_invokeCount).ObjectStart();
  amf.NamedString("app", url.app)
      .NamedString("flashVer", kFlashVer)
      .NamedString("swfUrl", m_swfUrl)
      .NamedString("tcUrl", tcUrl)
      .NamedBoolean("fpad", false)
      .NamedNumber("audioCodecs", 3575.0)
      .NamedNumber("videoCodecs", 252.0)
      .NamedNumber("videoFunction", 1.0)
      .NamedNumber("objectEncoding", 0.0)
      .ObjectEnd();
  if (!amf.ok()) return false;
  return SendCommand(rtmp::kCommandChannel, rtmp::kHeaderFull, 0, 0, amf.data(), amf.size(), true);
}

bool CRtmp::SendReleaseStream() {
  rtmp::AmfWriter amf(kCommandBufferSize);
  amf.String("releaseStream").Number(++m_invokeCount).Null().String(m_stream);
  return amf.ok() && SendCommand(rtmp::kCommandChannel, rtmp::kHeaderNoStreamId, 0, 0, amf.data(), amf.size(), false);
}

bool CRtmp::SendFCPublish() {
  rtmp::AmfWriter amf(kCommandBufferSize);
  amf.String("FCPublish").Number(++m_invokeCount).Null().String(m_stream);
  return amf.ok() && SendCommand(rtmp::kCommandChannel, rtmp::kHeaderNoStreamId, 0, 0, amf.data(), amf.size(), false);
}

bool CRtmp::SendCreateStream() {
  rtmp::AmfWriter amf(kCommandBufferSize);
  amf.String("createStream").Number(++m_invokeCount).Null();
  return amf.ok() && SendCommand(rtmp::kCommandChannel, rtmp::kHeaderNoStreamId, 0, 0, amf.data(), amf.size(), true);
}

bool CRtmp::SendPublish() {
  rtmp::AmfWriter amf(kCommandBufferSize);
  amf.String("publish").Number(++m_invokeCount).Null().String(m_stream).String("live");
  return amf.ok() &&
         SendCommand(rtmp::kPublishChannel, rtmp::kHeaderFull, 0, m_streamId, amf.data(), amf.size(), true);
}

bool CRtmp::SendCheckBW() {
  rtmp::AmfWriter amf(kCommandBufferSize);
  amf.String("_checkbw").Number(++m_invokeCount).Null();
  return amf.ok() && SendCommand(rtmp::kCommandChannel, rtmp::kHeaderFull, 0, 0, amf.data(), amf.size(), false);
}

bool CRtmp::SendCheckBWResult(double transaction) {
  rtmp::AmfWriter amf(kCommandBufferSize);
  amf.String("_result").Number(transaction).Null().Number(m_bwCheckCounter);
  const uint32_t timestamp = 22u * static_cast<uint32_t>(m_bwCheckCounter++);
  return amf.ok() &&
         SendCommand(rtmp::kCommandChannel, rtmp::kHeaderNoStreamId, timestamp, 0, amf.data(), amf.size(), false);
}

bool CRtmp::SendString2(const char* method, const char* text) {
  if (method == nullptr || text == nullptr) return false;
  RTMP_LOG(kLogInfo, "CRtmp::SendString2", "%s", method);
  rtmp::AmfWriter amf(kCommandBufferSize);
  amf.String(method).Number(++m_invokeCount).Null().String(text);
  return amf.ok() && SendCommand(rtmp::kCommandChannel, rtmp::kHeaderNoStreamId, 0, 0, amf.data(), amf.size(), false);
}

void CRtmp::HandleResult(int transaction, const rtmp::AmfCommand& command) {
  std::string method;
  if (!TakePendingCall(transaction, &method)) {
    RTMP_LOG(kLogWarning, "CRtmp::HandleInvoke", "received result id %d without matching request", transaction);
    return;
  }
#if !STRIVON_SDK_EARLIER
  RTMP_LOG(kLogInfo, "CRtmp::HandleInvoke", "received result for method call <%s>", method.c_str());
#endif
  if (method == "connect") {
    SendReleaseStream();
    SendFCPublish();
    SendCreateStream();
  } else if (method == "createStream") {
    double id = 0;
    int streamId = 0;
    if (!command.NumberAt(3, &id) || !rtmp::DoubleToInt(id, &streamId)) {
      RTMP_LOG(kLogFatal, "CRtmp::HandleInvoke", "createStream result without a stream id");
      CloseSocket();
      return;
    }
    m_streamId = streamId;
    SendPublish();
    SendChunkSizeAndSwitch(kPublishChunkSize);
  } else if (method == "publish" || method == "play") {
    m_publishing = true;
  }
}

void CRtmp::HandleOnStatus(const std::string& code) {
  if (code == "NetStream.Failed" || code == "NetStream.Play.Failed" || code == "NetStream.Play.StreamNotFound" ||
      code == "NetStream.Publish.BadName" || code == "NetConnection.Connect.InvalidApp") {
    m_streamId = -1;
    m_serverClose = true;
    RTMP_LOG(kLogWarning, "CRtmp::HandleInvoke", "rtmp server requested close");
    CloseSocket();
  } else if (code == "NetStream.Publish.Start") {
    m_publishing = true;
    DropPendingCall("publish");
    if (m_notify) m_notify->OnRtmpConnected();
  } else if (code == "NetStream.Play.Start" || code == "NetStream.Play.PublishNotify") {
    m_publishing = true;
    DropPendingCall("play");
    if (m_notify) m_notify->OnRtmpConnected();
  } else if (code == "NetStream.Play.Complete" || code == "NetStream.Play.Stop" ||
             code == "NetStream.Play.UnpublishNotify") {
    CloseSocket();
    return;
  }
  RaiseStatus(code.c_str());
}

int CRtmp::HandleInvoke(const uint8_t* body, size_t size) {
  if (size == 0 || body[0] != AMF_STRING) {
    RTMP_LOG(kLogFatal, "CRtmp::HandleInvoke", "Sanity failed. no string method in invoke packet");
    return 0;
  }
  rtmp::AmfCommand command;
  std::string method;
  double transactionNumber = 0;
  if (!command.Decode(body, size) || !command.StringAt(0, &method) || !command.NumberAt(1, &transactionNumber)) {
    RTMP_LOG(kLogFatal, "CRtmp::HandleInvoke", "error decoding invoke packet");
    return 0;
  }
  int transaction = 0;
  rtmp::DoubleToInt(transactionNumber, &transaction);

  if (method == "_result") {
    HandleResult(transaction, command);
  } else if (method == "onBWDone") {
    SendCheckBW();
  } else if (method == "_onbwcheck") {
    SendCheckBWResult(transactionNumber);
  } else if (method == "_onbwdone") {
    DropPendingCall("_checkbw");
  } else if (method == "_error") {
    RTMP_LOG(kLogWarning, "CRtmp::HandleInvoke", "rtmp server sent error");
    m_serverClose = true;
  } else if (method == "close") {
    RTMP_LOG(kLogWarning, "CRtmp::HandleInvoke", "rtmp server requested close");
    CloseSocket();
    m_serverClose = true;
  } else if (method == "onFCUnsubscribe") {
    CloseSocket();
    return 1;
  } else if (method == "onStatus") {
    std::string code;
    // Without a code there is no status word to pass on, and an empty one
    // would reach the owner as if it meant something.
    if (!command.ObjectStringAt(3, "code", &code) || code.empty()) {
      RTMP_LOG(kLogWarning, "CRtmp::HandleInvoke", "onStatus without a code, dropped");
      return 0;
    }
    HandleOnStatus(code);
  } else {
    return 0;
  }
  return 1;
}
