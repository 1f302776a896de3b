// A slow link for tests: the private network's loopback limited by a token
// bucket (tc tbf) to a bit rate, with an Ethernet-sized MTU, so that a
// publish run meets a link slower than its stream. Only inside the private
// network namespace (EnterPrivateNetwork): the machine's own loopback is
// never touched.
#pragma once
#include <string>

namespace test_support {

struct LinkShape {
  int kbitPerSecond = 1000;
  int mtu = 1500;
  // The bucket's depth and how long a packet may wait in its queue before
  // it is dropped (what a home router's queue holds, roughly).
  int burstKbit = 32;
  int latencyMs = 400;
};

// Applies shape to "lo" (replacing any earlier one); false with the reason
// in *error outside the private network or when ip or tc refused.
bool ShapeLoopback(const LinkShape& shape, std::string* error);

}  // namespace test_support
