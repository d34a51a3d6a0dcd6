// usbip-relay: runs in the virtual machine. Attaches a USB/IP device, served outside the
// machine through a virtio serial port, to the kernel's vhci_hcd, and copies the bytes
// between the two until the device is detached.
// Usage: usbip-relay PORT-NAME VHCI-PORT DEVID SPEED

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr const char* kAttach = "/sys/devices/platform/vhci_hcd.0/attach";

int Fail(const std::string& what) {
  std::fprintf(stderr, "usbip-relay: %s: %s\n", what.c_str(), std::strerror(errno));
  return 1;
}

// The device node of the virtio serial port named `name`, e.g. /dev/vport1p1.
std::string PortNode(const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/virtio-ports", error)) {
    std::ifstream file(entry.path() / "name");
    std::string line;
    if (std::getline(file, line) && line == name) return "/dev/" + entry.path().filename().string();
  }
  return {};
}

bool WriteAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    const ssize_t sent = ::write(fd, data, static_cast<size_t>(size));
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= sent;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: usbip-relay PORT-NAME VHCI-PORT DEVID SPEED\n");
    return 2;
  }
  const std::string node = PortNode(argv[1]);
  if (node.empty()) {
    std::fprintf(stderr, "usbip-relay: no virtio serial port named %s\n", argv[1]);
    return 1;
  }
  const int port = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
  if (port < 0) return Fail("open " + node);
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return Fail("socketpair");
  {
    // The kernel takes its own reference to the socket named here.
    const std::string line = std::string(argv[2]) + ' ' + std::to_string(pair[1]) + ' ' + argv[3] + ' ' + argv[4];
    const int attach = ::open(kAttach, O_WRONLY | O_CLOEXEC);
    if (attach < 0) return Fail(std::string("open ") + kAttach);
    if (::write(attach, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      return Fail(std::string("write '") + line + "' to " + kAttach);
    }
    ::close(attach);
    ::close(pair[1]);
  }
  std::printf("usbip-relay: %s attached to vhci port %s\n", node.c_str(), argv[2]);
  std::fflush(stdout);

  const int kernel = pair[0];
  char buffer[4096];
  pollfd fds[2] = {{kernel, POLLIN, 0}, {port, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return Fail("poll");
    }
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      // The kernel's side ends when the port is detached: the device is unplugged.
      if (got <= 0 && i == 0) {
        std::printf("usbip-relay: detached\n");
        return 0;
      }
      if (got < 0 && errno == EINTR) continue;
      // The serial port has no peer yet, or again: nothing to copy.
      if (got <= 0) continue;
      if (!WriteAll(fds[1 - i].fd, buffer, got)) return Fail("write");
    }
  }
}
