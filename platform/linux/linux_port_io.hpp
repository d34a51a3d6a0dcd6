#pragma once
// The PC's I/O ports on Linux: ioperm once, then in and out instructions (x86 only).

#include <string>

#include "platform/iow.hpp"

namespace platform::lnx {

class LinuxPortIo final : public iow::PortIo {
 public:
  // `sysfs` is where the kernel's security and hwmon directories are looked for.
  explicit LinuxPortIo(std::string sysfs = "/sys");

  // ioperm for the ports, then every capability of the process is dropped, whether or
  // not ioperm succeeded. On failure the reason (errno, and the kernel lockdown where it
  // applies) is reported. Warns once when the kernel's it87 driver shares the chip.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;

 private:
  std::string sysfs_;
  bool acquired_ = false;
};

// Why the kernel refused ioperm with `error`, as a parenthesis to append to the error
// text; empty when there is nothing to add.
std::string ExplainPortRefusal(int error, const std::string& lockdown_mode);

// Drops every capability (effective, permitted, inheritable, and so the ambient ones);
// false with a diagnostic when the kernel refuses.
bool DropAllCapabilities();

// The kernel lockdown mode ("integrity", "confidentiality"), or empty when there is none.
std::string LockdownMode(const std::string& sysfs);

// Whether a hwmon device named it87 exists under `sysfs`/class/hwmon.
bool It87DriverBound(const std::string& sysfs);

}  // namespace platform::lnx
