// Times single pin-report writes through the kernel's iowarrior driver: each write()
// returns when the device has answered the HID SET_REPORT. Writes every line high, so
// no key of a connected sign is pressed.
// Usage: lumatext-write-latency [NODE] [COUNT]

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/linux/device_files.hpp"

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
  platform::lnx::SystemDeviceFiles files;
  const int fd = files.open(node);
  if (fd < 0) {
    std::fprintf(stderr, "%s: %s\n", node, std::strerror(-fd));
    return 1;
  }
  platform::lnx::IowarriorInfo info;
  if (const int error = files.get_info(fd, info); error != 0 || info.report_size == 0 || info.report_size > 64) {
    std::fprintf(stderr, "%s: IOW_GETINFO: %s\n", node, std::strerror(-error));
    return 1;
  }
  std::vector<std::uint8_t> report(info.report_size, 0xFF);
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const double start = NowMs();
    const ssize_t written = files.write(fd, report.data(), report.size());
    if (written != static_cast<ssize_t>(report.size())) {
      std::fprintf(stderr, "%s: write: %s\n", node, written < 0 ? std::strerror(static_cast<int>(-written)) : "short");
      return 1;
    }
    times.push_back(NowMs() - start);
  }
  files.close(fd);
  const double first = times.front();
  std::sort(times.begin(), times.end());
  const auto at = [&](double q) { return times[static_cast<std::size_t>(q * static_cast<double>(times.size() - 1))]; };
  std::printf("%d writes of %u bytes to %s: first %.3f ms, min %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n",
              count, info.report_size, node, first, times.front(), at(0.5), at(0.99), times.back());
  return 0;
}
