#pragma once
// The machine the program runs on: its window system, its clock and its hardware.
// Each platform implements OpenDesktop and OpenHardware in its own folder; CMake
// picks one. Only a program's main calls them.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/device_loss.hpp"
#include "platform/form_layout.hpp"
#include "platform/iow.hpp"
#include "platform/window_system.hpp"

namespace platform {

// What became of the request for the monitor's ports that OpenHardware made.
struct PortAccess {
  bool granted = false;
  int error = 0;  // the system's error number of the refusal; 0 when granted or none
  // Where the readings come from a kernel driver's files instead of the ports (Linux: the
  // it87 driver's hwmon directory); empty when the ports are read.
  std::string driver_directory;
  // Where another driver of the kernel serves a chip at the ports: why they are left
  // alone (then granted is false and error 0); empty otherwise.
  std::string foreign;
  // Then the kernel's monitors the readings come from, in German; empty where none fits.
  std::string kernel_sources;
  // The program's own readings there, for the set-up report to read through.
  iow::MonitorDriver* kernel_driver = nullptr;
  // Where none fits: what was looked for, in German; empty where the rule's own text says it.
  std::string kernel_missing;
};

// The real IO-Warrior and port I/O of this machine.
class Hardware {
 public:
  virtual ~Hardware() = default;
  virtual iow::IowKit& iowkit() = 0;
  virtual iow::PortIo& ports() = 0;
  // Where the ports were asked for when the hardware was opened: the outcome (Linux).
  virtual PortAccess port_access() const = 0;
  // A wait on `clock` that also ends when the IO-Warrior iowkit() opened is gone, for the
  // unattended modes; null where this platform cannot watch the device.
  virtual std::unique_ptr<DeviceWatch> watch_device(iow::Clock& /*clock*/) { return nullptr; }
  // Whether the unattended modes wait here for a lost IO-Warrior to come back
  // (await_device) instead of ending, for a supervisor to start them again.
  virtual bool awaits_device() const { return false; }
  // With the IO-Warrior lost and closed: blocks, without spinning, until one can be opened
  // again. May end the program (ProgramEnd) on the platform's end signals.
  virtual void await_device() {}
};

// The window system with the window Form1, and the real clock.
class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual EventQueue& events() = 0;
  virtual WindowSystem& window() = 0;
  virtual iow::Clock& clock() = 0;
};

// Opens this platform's window system with the window Form1 as `form` describes it (not
// yet shown); null when this build has none or no display can be opened.
std::unique_ptr<Desktop> OpenDesktop(const FormLayout& form);

// Where a console program stands in for the windowed one (lumatext.com beside
// lumatext.exe on Windows): starts the windowed program beside the running one with
// `arguments`, as Explorer would (Windows then asks for the rights its manifest names),
// and does not wait for it. False where there is none or it cannot be started.
bool StartWindowedProgram(int argc, char** argv);

// This platform's real hardware access, null when this build has none. Where the ports
// need a privilege (Linux), asks for `port_count` ports from `first_port` at once and drops
// every privilege of the process before returning: call it first thing in main. Installs
// the end signals.
std::unique_ptr<Hardware> OpenHardware(std::uint16_t first_port, std::uint16_t port_count);

// The most precise real clock this platform has; its sleeps take part in EndOnSignals.
std::unique_ptr<iow::Clock> OpenRealClock();

// Installs this platform's end signals (SIGINT, SIGTERM and SIGHUP on Linux; on Windows
// the requests of RunHeadless and RunService) for a program that drives `kit`, and
// returns the kit to drive instead: a signal then ends the program at the next moment no
// key is held. Null where the platform has none.
std::unique_ptr<iow::IowKit> EndOnSignals(iow::IowKit& kit);

}  // namespace platform
