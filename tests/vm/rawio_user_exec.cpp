// Runs in the machine, as root: runs PROGRAM as the user UID:GID with the one
// supplementary group GROUP and no capability but CAP_SYS_RAWIO (permitted, effective,
// inheritable and ambient), as a systemd unit's User= with AmbientCapabilities= starts
// it. Built static, for machines that have no setpriv of their own architecture.
// Usage: rawio-user-exec UID GID GROUP PROGRAM [ARGUMENT...]

#include <grp.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "rawio-user-exec: %s: %s\n", what, std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fputs("usage: rawio-user-exec UID GID GROUP PROGRAM [ARGUMENT...]\n", stderr);
    return 2;
  }
  const auto uid = static_cast<uid_t>(std::strtoul(argv[1], nullptr, 10));
  const auto gid = static_cast<gid_t>(std::strtoul(argv[2], nullptr, 10));
  const auto group = static_cast<gid_t>(std::strtoul(argv[3], nullptr, 10));
  if (::setgroups(1, &group) != 0) return Fail("setgroups");
  if (::setgid(gid) != 0) return Fail("setgid");
  // Keep the permitted set across setuid, then narrow it to the one capability.
  if (::prctl(PR_SET_KEEPCAPS, 1UL, 0UL, 0UL, 0UL) != 0) return Fail("PR_SET_KEEPCAPS");
  if (::setuid(uid) != 0) return Fail("setuid");
  __user_cap_header_struct header{};
  header.version = _LINUX_CAPABILITY_VERSION_3;
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  data[CAP_TO_INDEX(CAP_SYS_RAWIO)].permitted = CAP_TO_MASK(CAP_SYS_RAWIO);
  data[CAP_TO_INDEX(CAP_SYS_RAWIO)].effective = CAP_TO_MASK(CAP_SYS_RAWIO);
  data[CAP_TO_INDEX(CAP_SYS_RAWIO)].inheritable = CAP_TO_MASK(CAP_SYS_RAWIO);
  if (::syscall(SYS_capset, &header, data) != 0) return Fail("capset");
  if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, static_cast<unsigned long>(CAP_SYS_RAWIO), 0UL, 0UL) != 0) {
    return Fail("PR_CAP_AMBIENT_RAISE");
  }
  ::execv(argv[4], argv + 4);
  std::fprintf(stderr, "rawio-user-exec: %s: %s\n", argv[4], std::strerror(errno));
  return 127;
}
