// Entry point of the network tests: they run in a private network
// namespace, so no lookup can reach a resolver beyond their own servers.
#include <gtest/gtest.h>

#include "tests/support/private_network.h"

int main(int argc, char** argv) {
  if (!test_support::EnterPrivateNetwork(argc, argv)) return 1;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
