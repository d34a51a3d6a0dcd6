#pragma once
// The module iow: the operations of the three outside libraries (the IO-Warrior
// library "iowkit", the port I/O library "IO.DLL" and the delay library "Port"),
// declared under their own names and bound to a backend at run time.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/hwmon_devices.hpp"
#include "platform/program_end.hpp"

namespace iow {

// Opaque IO-Warrior handle as the IO-Warrior library hands it out; 0 means none.
using IowKitHandle = std::uintptr_t;

// Monotonic time: never goes back and ignores changes to the time of day.
// A virtual clock starts at the epoch.
using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

// The IO-Warrior library.
class IowKit {
 public:
  virtual ~IowKit() = default;
  // Opens the IO pins interface of the first IO-Warrior found; 0 when none can be opened.
  virtual IowKitHandle open_device() = 0;
  // Writes `length` bytes of `report` (report ID first) to `pipe`; returns the bytes written, 0 on failure.
  // May end the program (platform::ProgramEnd) once the report has gone out, where the
  // platform's end signals take effect; in the unattended modes (platform::DeviceGone)
  // when the write failed because the device is gone.
  virtual std::uint32_t write(IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                              std::uint32_t length) = 0;
  // Closes a handle that open_device returned.
  virtual void close_device(IowKitHandle handle) = 0;
  // Whether the device behind `handle` is gone (unplugged, reset, or re-enumerated after
  // a resume): no write reaches it again, only a new open_device can. A device that merely
  // refuses a report is not gone. Writes nothing; false where the kit cannot tell.
  virtual bool gone(IowKitHandle /*handle*/) { return false; }
};

// The hardware monitor chip as the platform identified it in the chip's configuration
// space (ITE: chip ID in configuration registers 0x20/0x21, revision in bits 3-0 of 0x22).
struct MonitorChip {
  std::uint16_t id = 0;       // e.g. 0x8712; 0 where the platform did not identify the chip
  std::uint8_t revision = 0;  // 0 where not read
};

// The readings as the kernel's drivers offer them: the it87 driver's for the chip at
// 0x290 (Linux: its hwmon files), or those of the CPU's and the board's own monitors where
// the ITE monitor is not there. The drivers read their chips under their own locks.
class MonitorDriver {
 public:
  virtual ~MonitorDriver() = default;
  // The temperature in millidegrees Celsius (the it87 driver's: register 0x29); nullopt
  // when it cannot be read.
  virtual std::optional<std::int64_t> temperature_millidegrees() = 0;
  // The fan in rpm as the driver computes it, 0 or negative where it sees no speed;
  // nullopt when it cannot be read or there is no fan to read.
  virtual std::optional<std::int64_t> fan_rpm() = 0;
  // Whether the temperature is register 0x29 of the ITE monitor (the text then shows it as
  // the port read of the register would); else a temperature of its own, shown as it is.
  virtual bool register_readings() const { return true; }
};

// Byte-wide access to the PC's I/O ports.
class PortIo {
 public:
  virtual ~PortIo() = default;
  // Gains access to `count` ports from `first`; false when it cannot be had, the reason
  // reported as a diagnostic. Called once, before any out or in.
  virtual bool acquire(std::uint16_t first, std::uint16_t count) = 0;
  // Writes `value` to `port`; reports nothing.
  virtual void out(std::uint16_t port, std::uint8_t value) = 0;
  // Reads one byte from `port`, as it comes.
  virtual std::uint8_t in(std::uint16_t port) = 0;
  // The chip behind the ports once acquire has succeeded; id 0 where this platform did not
  // identify it.
  virtual MonitorChip chip() const { return {}; }
  // Where a kernel driver serves the chip: its readings, which take the place of every
  // port access (acquire then gains nothing and touches no port); null where the ports are read.
  virtual MonitorDriver* driver() { return nullptr; }

  // Asks, once, whether the ITE monitor answers at the ports (Linux: two register reads);
  // acquire asks it first. foreign_ports() tells the outcome.
  virtual void identify() {}
  // Why the ports are not the ITE monitor's: another driver of the kernel serves a chip
  // at them (known from the start), or no ITE monitor answers there (known once
  // identify has asked). acquire then refuses them unless read_kernel_monitors gave a
  // temperature. Empty where the ports (or the it87 driver's files for the chip at them)
  // give the readings.
  virtual std::string foreign_ports() const { return {}; }
  // The hardware monitors the kernel offers (Linux: /sys/class/hwmon); empty where it
  // offers none or the platform cannot tell.
  virtual std::vector<platform::HwmonDevice> kernel_monitors() const { return {}; }
  // Where the ports are not the ITE monitor's, the readings come from these inputs of the
  // kernel's monitors: driver() serves them and acquire succeeds without a port. Without
  // a temperature acquire fails there and says `why`. Given at the start, before identify.
  virtual void read_kernel_monitors(const std::optional<platform::HwmonSource>& /*temperature*/,
                                    const std::optional<platform::HwmonSource>& /*fan*/, const std::string& /*why*/) {}
};

// The clocks: monotonic time, blocking waits on it, and the local time of day.
class Clock {
 public:
  virtual ~Clock() = default;
  // Current monotonic time.
  virtual TimePoint now() = 0;
  // Blocks until now() >= deadline; never returns early. A real clock needs a finite
  // deadline; a simulated one ends the program at its limit instead. May end the program
  // (platform::ProgramEnd): on an end signal while no key is held, or when a simulated
  // clock reaches its limit.
  virtual void sleep_until(TimePoint deadline) = 0;
  // Local time of day in seconds since midnight, with fractions, in [0, 86400).
  virtual double time_of_day() = 0;
};

// The outside libraries' operations as the system's procedures call them. IowKitWrite
// and DELAY may end the program (platform::ProgramEnd), as IowKit::write and
// Clock::sleep_until do.
class OutsideLibraries {
 public:
  OutsideLibraries(IowKit& kit, PortIo& ports, Clock& clock) : kit_(kit), ports_(ports), clock_(clock) {}

  // IO-Warrior library ("iowkit").
  IowKitHandle IowKitOpenDevice() { return kit_.open_device(); }
  std::uint32_t IowKitWrite(IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* buffer,
                            std::uint32_t length) {
    return kit_.write(handle, pipe, buffer, length);
  }
  void IowKitCloseDevice(IowKitHandle handle) { kit_.close_device(handle); }

  // Port I/O library ("IO.DLL"). PortAccess gains access to the ports before their first use.
  bool PortAccess(std::uint16_t first, std::uint16_t count) { return ports_.acquire(first, count); }
  void PortOut(std::uint16_t port, std::uint8_t value) { ports_.out(port, value); }
  std::uint8_t PortIn(std::uint16_t port) { return ports_.in(port); }
  // What the platform knows of the chip behind the ports, and the driver serving it, if any.
  MonitorChip chip() const { return ports_.chip(); }
  MonitorDriver* driver() { return ports_.driver(); }
  // Whether the ports are not the ITE monitor's (PortIo::foreign_ports).
  bool ports_foreign() const { return !ports_.foreign_ports().empty(); }

  // Delay library ("Port"): returns when at least `time` has passed, blocking the thread.
  void DELAY(std::chrono::milliseconds time) { clock_.sleep_until(clock_.now() + time); }

  Clock& clock() { return clock_; }

 private:
  IowKit& kit_;
  PortIo& ports_;
  Clock& clock_;
};

}  // namespace iow
