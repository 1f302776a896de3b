// Runs a test program in a private network namespace ("unshare -rn") with
// only its own loopback interface, so nothing it does can reach a resolver
// or any host beyond this process's own servers.
#pragma once

namespace test_support {

// Re-executes the program under "unshare -rn" unless it already runs there,
// then brings loopback up. Returns only inside the namespace (true), or
// false when no namespace could be made.
bool EnterPrivateNetwork(int argc, char** argv);

// True in a process that EnterPrivateNetwork moved into its namespace (and
// in its children): only there may a test reshape the network.
bool InPrivateNetwork();

}  // namespace test_support
