#pragma once
// The PC's I/O ports on Linux: ioperm once, then in and out instructions (x86 only).
// Where the kernel's it87 driver serves the chip, its sensor files instead, and no port.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/iow.hpp"

namespace platform::lnx {

// The it87 driver's sensor files in one hwmon directory: temp1_input (millidegrees
// Celsius, register 0x29 read as a signed byte times 1000) and fan1_input (rpm, 0 for no speed).
class It87Files final : public iow::MonitorDriver {
 public:
  explicit It87Files(std::string directory) : directory_(std::move(directory)) {}
  std::optional<std::int64_t> temperature_millidegrees() override;
  std::optional<std::int64_t> fan_rpm() override;
  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
};

class LinuxPortIo final : public iow::PortIo {
 public:
  // `sysfs` is where the kernel's security and hwmon directories are looked for.
  explicit LinuxPortIo(std::string sysfs = "/sys");

  // ioperm for the ports, then every capability of the process is dropped, whether or
  // not ioperm succeeded. Meant for the first instruction of main, before any library
  // runs with the privilege; acquire reports the outcome later. Where the it87 driver
  // serves the chip at these ports, no ioperm: the driver's files are read instead.
  void grant(std::uint16_t first, std::uint16_t count);
  // The outcome of grant for these ports (grant is called now when it was not). On
  // failure the reason (errno, and the kernel lockdown where it applies) is reported.
  // Warns once when the kernel's it87 driver shares the chip; says where the readings come
  // from when its files are used, and that the chip is not identified when the ports are.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  // The outcome of grant: granted, or the system's error number (0 where the processor
  // has no port instructions).
  bool granted() const { return granted_.has_value() && failure_.empty(); }
  int error() const { return error_; }
  // The it87 driver's hwmon directory whose files grant chose; empty when the ports are read.
  std::string driver_directory() const { return driver_ ? driver_->directory() : std::string(); }
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;
  iow::MonitorDriver* driver() override { return driver_ ? &*driver_ : nullptr; }

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
  std::optional<It87Files> driver_;
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

// The hwmon directory under `sysfs`/class/hwmon of the it87 driver serving the chip whose
// environment controller has the base address `base` (0x290): its name file reads "it87"
// and its device is the driver's platform device it87.<base in decimal> (a device that
// cannot be told is taken); empty when there is none.
std::string It87Directory(const std::string& sysfs, std::uint16_t base);

// Whether a hwmon device named it87 serves the chip at `base` (see It87Directory).
bool It87DriverBound(const std::string& sysfs, std::uint16_t base = 0x290);

}  // namespace platform::lnx
