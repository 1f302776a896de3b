// How much a publishing connection may hold in the kernel's send buffer.
// Left to the system's autotuning, a socket on a link slower than the stream
// queues megabytes (tens of seconds of media) before a single ping shows a
// longer round trip, and the viewer falls behind by all of it. Sized from the
// stream's bit rate instead, a slow link blocks the sender within a fraction
// of a second, the ping behind the queue comes back late and the adaptive
// bit rate sees it. The connect thread applies it to the new socket, and
// SetVideoParams again once the rate is known.
#pragma once
#include <cstddef>

namespace rtmp {

// Media the kernel may hold for one connection.
constexpr int kSendBufferMediaMs = 500;
// Below this a connection could not keep a handful of full segments in
// flight, and a slow stream on a long path would be held back by the
// buffer instead of by the link.
constexpr size_t kMinSendBufferBytes = 16 * 1024;
// Allowance for the sound beside the picture rate (the encoder's highest).
constexpr int kSoundAllowanceBps = 64000;
// A stream of pictures at a quality rather than a rate has no bit rate to go
// by; it is sized as this rate would be.
constexpr int kAssumedVideoBpsWhenUnknown = 2000000;

// The bytes of media the send buffer should hold at a video rate of
// videoBps (0 or less: unknown).
size_t SendBufferBytesFor(int videoBps);

// The value to ask SO_SNDBUF for to let bytes of media be held: Linux
// doubles what it is given and charges a TCP socket little beyond the
// payload for the large segments it builds, so half is asked for.
int SendBufferOptionFor(size_t bytes);

}  // namespace rtmp
