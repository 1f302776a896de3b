#include "tests/support/tiny_disk.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace test_support {

bool MountTinyDisk(const std::string& where, const std::string& size) {
  const uid_t uid = ::getuid();
  const gid_t gid = ::getgid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
  // Our own user becomes root inside, which may mount there.
  if (!WriteFileBytes("/proc/self/setgroups", "deny") ||
      !WriteFileBytes("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
      !WriteFileBytes("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
    return false;
  return ::mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

}  // namespace test_support
