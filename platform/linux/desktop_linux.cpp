// Linux: the FLTK desktop on X11, the precise monotonic clock, the IO-Warrior through
// the kernel's iowarrior driver, and the I/O ports through ioperm.

#include <memory>

#include "platform/desktop.hpp"
#include "platform/line_input.hpp"
#include "platform/fltk/fltk_desktop.hpp"
#include "platform/linux/device_files.hpp"
#include "platform/linux/end_signals.hpp"
#include "platform/linux/iowarrior_watch.hpp"
#include "platform/linux/linux_iowkit.hpp"
#include "platform/linux/linux_port_io.hpp"
#include "platform/linux/precise_clock.hpp"
#include "platform/linux/stdin_lines.hpp"

namespace platform {
namespace {

class LinuxDesktop final : public Desktop {
 public:
  explicit LinuxDesktop(lnx::EndSignals& signals) : clock_(&signals) {}

  bool open(const FormLayout& form, lnx::EndSignals& signals) {
    fltk::Machine machine;
    machine.clock = &clock_;
    machine.end_check = [&signals] { signals.end_if_requested(); };
    machine.wake_fd = signals.wake_fd();
    toolkit_ = fltk::OpenFltkDesktop(form, machine);
    return toolkit_ != nullptr;
  }

  EventQueue& events() override { return toolkit_->events(); }
  WindowSystem& window() override { return toolkit_->window(); }
  iow::Clock& clock() override { return toolkit_->clock(); }

 private:
  lnx::PreciseClock clock_;
  std::unique_ptr<Desktop> toolkit_;
};

class LinuxHardware final : public Hardware {
 public:
  LinuxHardware(lnx::EndSignals& signals, std::uint16_t first_port, std::uint16_t port_count)
      : signals_(signals), kit_(files_), guarded_(kit_, signals) {
    ports_.grant(first_port, port_count);
  }

  iow::IowKit& iowkit() override { return guarded_; }
  iow::PortIo& ports() override { return ports_; }
  PortAccess port_access() const override {
    return {ports_.granted(), ports_.error(), ports_.driver_directory(), ports_.foreign_ports(), ports_.kernel_sources(),
            ports_.kernel_readings(), {}};
  }
  std::unique_ptr<DeviceWatch> watch_device(iow::Clock& clock) override {
    return std::make_unique<lnx::IowarriorWatch>(kit_, clock, &signals_);
  }
  // The node is the group's (udev) and the ports stay granted: a lost IO-Warrior is
  // waited for, and the sign is typed to again within a second of plugging it in.
  bool awaits_device() const override { return true; }
  void await_device() override { lnx::AwaitIowarriorPinsNode(kit_.last_node_inode(), &signals_); }

 private:
  lnx::EndSignals& signals_;
  lnx::SystemDeviceFiles files_;
  lnx::LinuxIowKit kit_;
  EndAtReleaseKit guarded_;
  lnx::LinuxPortIo ports_;
};

}  // namespace

std::unique_ptr<Desktop> OpenDesktop(const FormLayout& form) {
  lnx::EndSignals& signals = lnx::EndSignals::Process();
  auto desktop = std::make_unique<LinuxDesktop>(signals);
  if (!desktop->open(form, signals)) return nullptr;
  return desktop;
}

// The windowed program is the only one here.
bool StartWindowedProgram(int, char**) { return false; }

std::unique_ptr<iow::Clock> OpenRealClock() {
  return std::make_unique<lnx::PreciseClock>(&lnx::EndSignals::Process());
}

std::unique_ptr<LineInput> OpenStandardInput() {
  return std::make_unique<lnx::StdinLines>(0, &lnx::EndSignals::Process());
}

std::unique_ptr<iow::IowKit> EndOnSignals(iow::IowKit& kit) {
  lnx::EndSignals& signals = lnx::EndSignals::Process();
  signals.install();
  return std::make_unique<EndAtReleaseKit>(kit, signals);
}

std::unique_ptr<Hardware> OpenHardware(std::uint16_t first_port, std::uint16_t port_count) {
  lnx::EndSignals& signals = lnx::EndSignals::Process();
  // Only the real hardware has key lines that must not be left low.
  signals.install();
  return std::make_unique<LinuxHardware>(signals, first_port, port_count);
}

}  // namespace platform
