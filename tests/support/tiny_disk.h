// A small file system of the calling process's own, for tests of what a
// full disk does: a tmpfs mounted inside a user and mount namespace, so it
// needs no privileges and nothing outside the process (and its children)
// sees it. Call it in a forked child: a process with threads cannot enter a
// user namespace, and the namespace is the process's for good.
#pragma once
#include <string>

namespace test_support {

// Mounts a tmpfs of `size` (as tmpfs reads it, e.g. "16k") on the existing
// folder `where`. False when this system allows no such namespace.
bool MountTinyDisk(const std::string& where, const std::string& size);

}  // namespace test_support
