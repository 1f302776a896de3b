// Growable byte buffer with a read position. The RTMP client receives all
// socket data into one and reads chunks out of it; the encoder uses two as
// work buffers. One thread at a time.
#pragma once
#include <cstdint>

#include "platform/base/socket.h"

class IOBuffer {
 public:
  IOBuffer() = default;
  virtual ~IOBuffer();
  IOBuffer(const IOBuffer&) = delete;
  IOBuffer& operator=(const IOBuffer&) = delete;

  // Room for n more bytes after length; false when allocation fails or the
  // size would overflow (the buffer is then unchanged).
  bool EnsureSpace(unsigned n);
  // Marks up to n unread bytes as read (clamped to the unread count).
  bool Consume(unsigned n);
  // Appends up to n bytes from s; false when the peer closed, on error, or
  // when no room could be made.
  bool RecvFromSocket(platform::SocketHandle s, unsigned n, unsigned* received);

  const uint8_t* ReadPointer() const { return data + readOffset; }
  unsigned Unread() const { return length - readOffset; }

  uint8_t* data = nullptr;
  unsigned capacity = 0;
  unsigned length = 0;
  unsigned readOffset = 0;
  unsigned minGrowth = 0;
};
