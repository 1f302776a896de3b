#include "tests/support/private_network.h"

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace test_support {

namespace {

constexpr const char* kMarker = "STRIVON_PRIVATE_NETWORK";

bool LoopbackUp() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ifreq request{};
  strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags |= IFF_UP;
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool InPrivateNetwork() { return getenv(kMarker) != nullptr; }

bool EnterPrivateNetwork(int argc, char** argv) {
  if (getenv(kMarker) == nullptr) {
    setenv(kMarker, "1", 1);
    // Resolved now: after the exec, /proc/self/exe would name unshare.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return false;
    std::vector<char*> args = {const_cast<char*>("unshare"), const_cast<char*>("-rn"), self};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("unshare", args.data());
    perror("unshare -rn");
    return false;
  }
  if (!LoopbackUp()) {
    fprintf(stderr, "loopback could not be brought up in the private network\n");
    return false;
  }
  return true;
}

}  // namespace test_support
