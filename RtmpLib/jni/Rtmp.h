// CRtmp: the library's publish-only RTMP client behind IRtmpLib.
//
// One object serves one connection attempt: Connect starts a connect thread
// (resolve, TCP connect, handshake, connect/createStream/publish commands);
// once publishing, a receive thread answers the server (pongs, bandwidth
// checks, status). The encoder thread sends media through the same object.
// The class is spread over rtmp_*.cpp files, one concern each: connect,
// handshake, chunk reader, chunk writer, dispatch, commands, media.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RtmpLib/jni/IRtmpLib.h"
#include "RtmpLib/jni/rtmp_packet.h"
#include "RtmpLib/jni/rtmp_url.h"
#include "common/IOBuffer.h"
#include "common/TVThread.h"
#include "platform/base/socket.h"

namespace rtmp {
class AmfCommand;
}

class CRtmp : public IRtmpLib, public CSafeThread {
 public:
  explicit CRtmp(IRtmpLibNotify* notify);
  ~CRtmp() override;

  // IRtmpLib
  bool Connect(const char* url) override;
  bool SetAudioParams(int channels, int sampleRate) override;
  bool SendAAC(const unsigned char* frame, int length, unsigned timestampMs) override;
  bool SetVideoParams(int width, int height, int fps, int bps) override;
  bool SendVideoH264(const unsigned char* accessUnit, int length, unsigned timestampMs,
                     int compositionMs = 0) override;
  void GetStatistics(MediaInfo* out) override;
  bool SetUdpParam1(int value) override;
  bool SetUdpParam2(int value) override;
  bool SetParam(int value) override;
  bool SendString2(const char* method, const char* text) override;
  bool SetMediaInfo(MediaInfo* info) override;
  bool SetSessionInfo(const char* first, const char* second, const char* third) override;
  void Release() override;
  void CloseSocket() override;
  bool PostMediaInfo(MediaInfo info) override;
  bool SendPing() override;
  const char* GetServerIP() override;

  // Time allowed for the whole connect phase: TCP connect, handshake and the
  // commands up to the start of publishing, however the server paces its bytes.
  static constexpr int kConnectPhaseTimeoutMs = 10000;
  // A send that gets not a single byte into the socket for this long ends the
  // connection: the server stopped reading, and waiting longer would hold the
  // sending thread (and whoever waits for it) for good.
  static constexpr int kSendStallTimeoutMs = 5000;
  // The chunk size announced once the stream is created: each media message
  // then leaves as one chunk, in one send.
  static constexpr uint32_t kPublishChunkSize = 1048576;

  // Tests and the fuzzer: adopt an already connected socket as if the TCP
  // connect had succeeded (the object then owns it), without any thread.
  void AdoptSocketForTest(platform::SocketHandle socket);
  // Benchmarks on an adopted socket: announce and use the publishing chunk
  // size, as the client does once the server created its stream.
  bool SwitchToPublishChunkSizeForTest() { return SendChunkSizeAndSwitch(kPublishChunkSize); }
  // Tests and the fuzzer: read and dispatch everything the peer sends until
  // the connection ends, on the calling thread.
  void ReadAndDispatchForTest();
  // Tests and the fuzzer: a reply to this call is expected, as if it had been sent.
  void ExpectResultForTest(const std::string& method, int transaction) { AddPendingCall(method, transaction); }
  // Tests: shorten the connect-phase limit (before Connect).
  void SetConnectPhaseTimeoutForTest(int ms) { m_connectPhaseTimeoutMs = ms; }
  // Tests: shorten the send stall limit.
  void SetSendStallTimeoutForTest(int ms) { m_sendStallTimeoutMs = ms; }

 protected:
  // The receive thread.
  void SafeThreadProcMain() override;

 private:
  // rtmp_connect.cpp
  void StartConnect(const std::string& url);
  bool Resolve(const std::string& host, uint32_t* addressNetworkOrder);
  bool ConnectTcp(uint32_t addressNetworkOrder, int port);
  void Report(const char* key, const std::string& value);
  void Report(const char* key, int value);
  // Milliseconds left of the connect phase: -1 outside it, 0 once it is over.
  int ConnectPhaseRemainingMs() const;
  // The connect phase ran out: "NetConnection.Connect.Failed", then close.
  void FailConnectPhase(const char* function);
  // rtmp_handshake.cpp
  bool HandShake();
  // rtmp_chunk_reader.cpp
  bool ReadN(uint8_t* out, size_t n);
  // Reads one chunk; *complete tells whether it finished a message (then in *message).
  bool RTMP_ReadPacket(rtmp::RtmpMessage* message, bool* complete);
  void DropPartialMessage(rtmp::InChunkStream* stream);
  // rtmp_chunk_writer.cpp
  bool RTMP_SendPacket(rtmp::RtmpOutPacket* packet, bool queue);
  bool WriteN(const uint8_t* data, size_t n);
  bool SendCtrl(uint16_t eventType, uint32_t value, uint32_t value2);
  bool SendChunkSizeAndSwitch(uint32_t chunkSize);
  bool SendCommand(int chunkStreamId, uint8_t headerType, uint32_t timestamp, int32_t messageStreamId,
                   const uint8_t* body, size_t size, bool queue);
  // rtmp_dispatch.cpp
  void ReadUntilPublishing();
  void RTMP_AnalysisPacket(const rtmp::RtmpMessage& message);
  void HandleCtrl(const rtmp::RtmpMessage& message);
  // rtmp_invoke.cpp
  bool SendConnectPacket(const rtmp::RtmpUrl& url, const std::string& tcUrl);
  bool SendReleaseStream();
  bool SendFCPublish();
  bool SendCreateStream();
  bool SendPublish();
  bool SendCheckBW();
  bool SendCheckBWResult(double transaction);
  int HandleInvoke(const uint8_t* body, size_t size);
  void HandleResult(int transaction, const rtmp::AmfCommand& command);
  void HandleOnStatus(const std::string& code);
  void AddPendingCall(const std::string& method, int transaction);
  bool TakePendingCall(int transaction, std::string* method);
  void DropPendingCall(const std::string& method);
  // rtmp_media.cpp
  void CountAndReportStatistics();
  // rtmp_send_buffer.cpp: the socket's send buffer sized from the bit rate.
  void BoundSendBuffer();

  // rtmp_factory.cpp
  void RaiseStatus(const char* word);
  // What one connection counted and announced, back to its start.
  void ResetConnectionState();
  bool IsOpen() const { return !m_closed.load() && m_socket.load() != platform::kNoSocket; }

  IRtmpLibNotify* const m_notify;

  // Connection. The descriptor is closed only by the destructor, after every
  // thread that might use it has been joined; CloseSocket only shuts it down.
  std::atomic<platform::SocketHandle> m_socket{platform::kNoSocket};
  std::atomic<bool> m_closed{true};
  std::recursive_mutex m_closeLock;
  std::thread m_connectThread;
  std::mutex m_connectMutex;  // guards m_connectThread and m_url
  std::string m_url;
  std::atomic<int> m_connectPhaseTimeoutMs{kConnectPhaseTimeoutMs};
  // End of the connect phase on the steady clock, in ms; -1 outside it.
  std::atomic<int64_t> m_connectDeadlineMs{-1};
  std::atomic<bool> m_connectPhaseFailed{false};
  std::atomic<int> m_sendStallTimeoutMs{kSendStallTimeoutMs};
  // The picture rate SetVideoParams gave (0: not known yet), which sizes the
  // send buffer.
  std::atomic<int> m_videoBitrateBps{0};

  // Reader: used by the connect thread, then by the receive thread.
  IOBuffer m_in;
  std::map<int, rtmp::InChunkStream> m_inStreams;
  size_t m_partialBytes = 0;
  uint32_t m_inChunkSize = 128;
  uint32_t m_serverBandwidth = 2500000;
  uint32_t m_clientBandwidth = 2500000;
  uint8_t m_clientBandwidthLimitType = 2;
  int m_bwCheckCounter = 0;

  // Writer: everything below is touched only with m_sendLock held, which
  // also keeps the chunks of one message together on the wire.
  std::recursive_mutex m_sendLock;
  std::map<int, rtmp::OutChunkStream> m_outStreams;
  uint32_t m_outChunkSize = 128;

  // Commands.
  std::atomic<int> m_invokeCount{0};
  struct PendingCall {
    std::string method;
    int transaction;
  };
  std::mutex m_pendingLock;
  std::vector<PendingCall> m_pendingCalls;
  std::string m_app;
  std::string m_stream;
  // Connect thread only. The earlier builds name a web page on connect; the
  // page address itself is never sent.
  std::string m_swfUrl;
#if STRIVON_SDK_EARLIER
  std::string m_pageUrl;
#endif
  std::atomic<int> m_streamId{0};
  std::atomic<bool> m_publishing{false};
  std::atomic<bool> m_serverClose{false};

  // Media (encoder thread). The per-connection values below are atomic
  // because CloseSocket, on whichever thread, starts them afresh; the
  // parameter sets are only compared while the AVC header flag is set.
  std::atomic<int> m_audioChannels{0};
  std::atomic<int> m_audioSampleRate{0};
  std::atomic<bool> m_aacHeaderSent{false};
  std::atomic<bool> m_avcHeaderSent{false};
  std::vector<uint8_t> m_lastSps;
  std::vector<uint8_t> m_lastPps;
  // Last time stamp sent per medium: a receiver takes a smaller one as a jump
  // back (the delta wraps), so a late caller's stamp is raised to it instead.
  std::atomic<uint32_t> m_lastAudioTimestamp{0};
  std::atomic<uint32_t> m_lastVideoTimestamp{0};
  std::atomic<uint32_t> m_counters[8] = {};  // 1..7 used, as numbered in reports
  std::atomic<uint32_t> m_statisticsTick{0};

  std::string m_serverIp;
};
