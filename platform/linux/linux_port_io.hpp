#pragma once
// The PC's I/O ports on Linux: ioperm once, then in and out instructions (x86 only).
// Where the kernel's it87 driver serves the chip, its sensor files instead, and no port.
// Where another driver serves a chip at the ports, no port either: the readings come
// from the kernel's monitors, as monitor::ChooseReadingSource picks them.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/hwmon_files.hpp"
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
  // `sysfs` is where the kernel's security and hwmon directories are looked for, `proc`
  // where its ioports list is.
  explicit LinuxPortIo(std::string sysfs = "/sys", std::string proc = "/proc");

  // ioperm for the ports, then every capability of the process is dropped, whether or
  // not ioperm succeeded. Meant for the first instruction of main, before any library
  // runs with the privilege; acquire reports the outcome later. Where the it87 driver
  // serves the chip at these ports, no ioperm: the driver's files are read instead. Where
  // another driver serves a chip there (a hwmon device whose platform device is named
  // after the base address, as nct6775.656; or a claim in /proc/ioports), no ioperm and
  // no port ever: foreign_ports() says why. Touches no port.
  void grant(std::uint16_t first, std::uint16_t count);
  // With the ports granted, asks once whether an ITE monitor answers there, as the
  // kernel's it87 driver tells one at its probe (configuration register 0x00 with bit 7
  // clear, register 0x58 reading 0x90); where none does, gives the ports back and
  // foreign_ports() says why. Asked at the first acquire, after the program holds its
  // IO-Warrior: a second program that is refused it touches no port.
  void identify() override;
  // The outcome of grant for these ports (grant is called now when it was not). On
  // failure the reason (errno, and the kernel lockdown where it applies) is reported.
  // Warns once when the kernel's it87 driver shares the chip; says where the readings come
  // from when its files are used, and that the chip is not identified when the ports are.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  // The outcome of grant: granted, or the system's error number (0 where the processor
  // has no port instructions).
  bool granted() const { return granted_.has_value() && failure_.empty() && foreign_.empty(); }
  int error() const { return error_; }
  // The it87 driver's hwmon directory whose files grant chose; empty when the ports are read.
  std::string driver_directory() const { return driver_ ? driver_->directory() : std::string(); }
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;
  iow::MonitorDriver* driver() override;
  std::string foreign_ports() const override { return foreign_; }
  std::vector<platform::HwmonDevice> kernel_monitors() const override;
  void read_kernel_monitors(const std::optional<platform::HwmonSource>& temperature,
                            const std::optional<platform::HwmonSource>& fan, const std::string& why) override;
  // Where the readings come from the kernel's other monitors: which inputs; empty otherwise.
  std::string kernel_sources() const { return kernel_readings() ? kernel_->description() : std::string(); }
  // Those readings; null otherwise.
  iow::MonitorDriver* kernel_readings() const { return foreign_.empty() ? nullptr : kernel_.get(); }

 private:
  struct Range {
    std::uint16_t first;
    std::uint16_t count;
  };
  std::string sysfs_;
  std::string proc_;
  std::optional<Range> granted_;
  std::string failure_;
  int error_ = 0;
  bool acquired_ = false;
  std::optional<It87Files> driver_;
  std::string foreign_;
  bool identified_ = false;
  std::unique_ptr<KernelMonitorFiles> kernel_;
  std::string kernel_missing_;
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
// environment controller has the base address `base` (0x290): its device is the driver's
// platform device it87.<base in decimal>, whatever name the driver gives the chip ("it87",
// "it8712"), or its name reads "it87" and its device cannot be told; empty when there is none.
std::string It87Directory(const std::string& sysfs, std::uint16_t base);

// Another driver of the kernel that serves a chip at `base` (the ports from `first`, `count` of
// them): a hwmon device under `sysfs` whose platform device is named <driver>.<base in
// decimal> (not the it87 driver's), else a claim on one of the ports in `proc`/ioports
// that is not a bus's or the firmware's reservation. In German, naming it; empty when none.
std::string ForeignDriver(const std::string& sysfs, const std::string& proc, std::uint16_t first,
                          std::uint16_t count);

// Whether a hwmon device named it87 serves the chip at `base` (see It87Directory).
bool It87DriverBound(const std::string& sysfs, std::uint16_t base = 0x290);

}  // namespace platform::lnx
