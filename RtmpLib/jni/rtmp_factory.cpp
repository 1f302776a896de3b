// Creation, destruction, the small IRtmpLib operations and CloseSocket.
#include <new>

#include "RtmpLib/jni/Rtmp.h"
#include "RtmpLib/jni/rtmp_log.h"

IRtmpLib* CreateRtmpLib(IRtmpLibNotify* notify) {
  try {
    return new CRtmp(notify);
  } catch (...) {
    return nullptr;
  }
}

CRtmp::CRtmp(IRtmpLibNotify* notify) : m_notify(notify) {}

CRtmp::~CRtmp() {
  CloseSocket();
  std::thread connectThread;
  {
    std::lock_guard<std::mutex> lock(m_connectMutex);
    connectThread.swap(m_connectThread);
  }
  if (connectThread.joinable()) connectThread.join();
  // The connect thread may have started the receive thread just before it
  // ended; CloseSocket has already woken any read it is blocked in.
  Stop();
  platform::SocketHandle socket = m_socket.exchange(platform::kNoSocket);
  platform::CloseSocket(socket);
}

void CRtmp::Release() { delete this; }

void CRtmp::RaiseStatus(const char* word) {
  if (m_notify == nullptr) return;
  MediaInfo status;
  status.type = MediaInfo::kStatusText;
  status.text1 = word;
  m_notify->OnRtmpStatus(&status);
}

void CRtmp::ResetConnectionState() {
  for (auto& counter : m_counters) counter = 0;
  m_statisticsTick = 0;
  m_aacHeaderSent = false;
  m_avcHeaderSent = false;
  m_lastAudioTimestamp = 0;
  m_lastVideoTimestamp = 0;
  std::lock_guard<std::mutex> lock(m_pendingLock);
  m_pendingCalls.clear();
}

void CRtmp::CloseSocket() {
  {
    std::lock_guard<std::recursive_mutex> lock(m_closeLock);
    // Every call, not only the first: a send that was under way when the
    // connection closed may have counted once more.
    ResetConnectionState();
    if (m_closed.exchange(true)) return;
    RTMP_LOG(kLogWarning, "CRtmp::CloseSocket", "CloseSocket()");
    if (m_socket.load() == platform::kNoSocket) return;
    // Wakes the reader and any blocked sender; the descriptor itself stays
    // valid until the destructor, so no thread can hit a reused number.
    platform::ShutdownSocket(m_socket.load());
  }
  // Raised outside the lock: the owner may react by calling back into us,
  // and the closed flag already makes this the only time.
  RaiseStatus("NetConnection.Connect.Closed");
}

bool CRtmp::SetAudioParams(int channels, int sampleRate) {
  m_audioChannels = channels;
  m_audioSampleRate = sampleRate;
  return true;
}

bool CRtmp::SetVideoParams(int, int, int, int bps) {
  // Stored before the socket is looked at, while the connect thread stores
  // its socket before it reads the rate: whichever comes second applies the
  // rate in force.
  m_videoBitrateBps = bps;
  BoundSendBuffer();
  return true;
}

void CRtmp::GetStatistics(MediaInfo* out) {
  if (out == nullptr) return;
  out->value1 = static_cast<int>(m_counters[1].load());
  out->value2 = static_cast<int>(m_counters[2].load());
  out->value3 = static_cast<int>(m_counters[3].load());
  out->value4 = static_cast<int>(m_counters[4].load());
  out->value5 = static_cast<int>(m_counters[5].load());
  out->value6 = static_cast<int>(m_counters[6].load());
  out->value7 = static_cast<int>(m_counters[7].load());
}

bool CRtmp::SetUdpParam1(int) { return true; }
bool CRtmp::SetUdpParam2(int) { return true; }
bool CRtmp::SetParam(int) { return true; }
bool CRtmp::SetMediaInfo(MediaInfo*) { return true; }
bool CRtmp::SetSessionInfo(const char*, const char*, const char*) { return true; }
bool CRtmp::PostMediaInfo(MediaInfo) { return true; }
const char* CRtmp::GetServerIP() { return m_serverIp.c_str(); }

void CRtmp::AdoptSocketForTest(platform::SocketHandle socket) {
  m_socket = socket;
  m_closed = false;
  BoundSendBuffer();
}
