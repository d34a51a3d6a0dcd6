// Times single pin-report writes through the kernel's iowarrior driver: each write()
// returns when the device has answered the HID SET_REPORT. Writes every line high, so
// no key of a connected sign is pressed.
// Usage: lumatext-write-latency [NODE] [COUNT]

#include <fcntl.h>
#include <linux/usb/iowarrior.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const char* node = argc > 1 ? argv[1] : "/dev/usb/iowarrior0";
  const int count = argc > 2 ? std::atoi(argv[2]) : 200;
  const int fd = ::open(node, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "%s: %s\n", node, std::strerror(errno));
    return 1;
  }
  iowarrior_info info{};
  if (::ioctl(fd, IOW_GETINFO, &info) != 0 || info.report_size == 0 || info.report_size > 64) {
    std::fprintf(stderr, "%s: IOW_GETINFO: %s\n", node, std::strerror(errno));
    return 1;
  }
  std::vector<unsigned char> report(info.report_size, 0xFF);
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const double start = NowMs();
    if (::write(fd, report.data(), report.size()) != static_cast<ssize_t>(report.size())) {
      std::fprintf(stderr, "%s: write: %s\n", node, std::strerror(errno));
      return 1;
    }
    times.push_back(NowMs() - start);
  }
  ::close(fd);
  const double first = times.front();
  std::sort(times.begin(), times.end());
  const auto at = [&](double q) { return times[static_cast<std::size_t>(q * static_cast<double>(times.size() - 1))]; };
  std::printf("%d writes of %u bytes to %s: first %.3f ms, min %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n",
              count, info.report_size, node, first, times.front(), at(0.5), at(0.99), times.back());
  return 0;
}
