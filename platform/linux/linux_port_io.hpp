#pragma once
// The PC's I/O ports on Linux: ioperm once, then in and out instructions (x86 only).

#include <optional>
#include <string>

#include "platform/iow.hpp"

namespace platform::lnx {

class LinuxPortIo final : public iow::PortIo {
 public:
  // `sysfs` is where the kernel's security and hwmon directories are looked for.
  explicit LinuxPortIo(std::string sysfs = "/sys");

  // ioperm for the ports, then every capability of the process is dropped, whether or
  // not ioperm succeeded. Meant for the first instruction of main, before any library
  // runs with the privilege; acquire reports the outcome later.
  void grant(std::uint16_t first, std::uint16_t count);
  // The outcome of grant for these ports (grant is called now when it was not). On
  // failure the reason (errno, and the kernel lockdown where it applies) is reported.
  // Warns once when the kernel's it87 driver shares the chip.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  // The outcome of grant: granted, or the system's error number (0 where the processor
  // has no port instructions).
  bool granted() const { return granted_.has_value() && failure_.empty(); }
  int error() const { return error_; }
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;

 private:
  struct Range {
    std::uint16_t first;
    std::uint16_t count;
  };
  std::string sysfs_;
  std::optional<Range> granted_;
  std::string failure_;
  int error_ = 0;
  bool acquired_ = false;
};

// Why the kernel refused ioperm with `error`, as a parenthesis to append to the error
// text; empty when there is nothing to add.
std::string ExplainPortRefusal(int error, const std::string& lockdown_mode);

// Drops every capability (effective, permitted, inheritable, and so the ambient ones;
// the bounding set too where the process may change it); false with a diagnostic when
// the kernel refuses.
bool DropAllCapabilities();

// The kernel lockdown mode ("integrity", "confidentiality"), or empty when there is none.
std::string LockdownMode(const std::string& sysfs);

// Whether a hwmon device named it87 exists under `sysfs`/class/hwmon.
bool It87DriverBound(const std::string& sysfs);

}  // namespace platform::lnx
