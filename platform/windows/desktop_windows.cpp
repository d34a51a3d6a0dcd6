// The Windows desktop: Form1 in the plain Win32 API, the performance-counter clock,
// the IO-Warrior over HID and port I/O through PawnIO or a DLL (a 32-bit program: a DLL).

#include <exception>

#include "platform/desktop.hpp"
#include "platform/diagnostics.hpp"
#include "platform/windows/form1_window.hpp"
#include "platform/windows/hid_iowkit.hpp"
#include "platform/windows/service/end_request.hpp"
#include "platform/windows/hid_watch.hpp"
#include "platform/windows/windows_clock.hpp"
#if defined(_WIN64)
#include "platform/windows/windows_port_io.hpp"
#else
#include "platform/windows/windows_port_io_32.hpp"
#endif

// winuser.h names its own OpenDesktop (a macro for OpenDesktopW); ours is meant here.
#undef OpenDesktop

namespace platform {
namespace {

class WindowsDesktop final : public Desktop {
 public:
  explicit WindowsDesktop(const FormLayout& form) : form_(form, clock_) {}

  EventQueue& events() override { return form_; }
  WindowSystem& window() override { return form_; }
  iow::Clock& clock() override { return clock_; }

 private:
  windows::WindowsClock clock_;
  windows::Form1Window form_;
};

class WindowsHardware final : public Hardware {
 public:
  iow::IowKit& iowkit() override { return guarded_; }
  iow::PortIo& ports() override { return ports_; }
  // The driver grants the ports when they are first used, not when the hardware opens.
  PortAccess port_access() const override { return {}; }
  std::unique_ptr<DeviceWatch> watch_device(iow::Clock& clock) override {
    return std::make_unique<windows::HidWatch>(iowkit_, clock, &windows::EndRequest::Process());
  }

 private:
  windows::HidIowKit iowkit_;
  // Only the real hardware has key lines that must not be left low.
  EndAtReleaseKit guarded_{iowkit_, windows::EndRequest::Process()};
  windows::WindowsPortIo ports_;
};

}  // namespace

std::unique_ptr<Desktop> OpenDesktop(const FormLayout& form) {
  // While a text is typed the window answers no messages for up to a minute: no ghost
  // window may then swallow clicks or offer to end the program mid-press.
  DisableProcessWindowsGhosting();
  windows::UsePerMonitorDpi();
  try {
    return std::make_unique<WindowsDesktop>(form);
  } catch (const std::exception& error) {
    Diagnostic(std::string("OpenDesktop: ") + error.what());
    return nullptr;
  }
}

// Port access needs no privilege of the process's own here: the driver grants it.
std::unique_ptr<Hardware> OpenHardware(std::uint16_t, std::uint16_t) { return std::make_unique<WindowsHardware>(); }

std::unique_ptr<iow::Clock> OpenRealClock() {
  return std::make_unique<windows::WindowsClock>(&windows::EndRequest::Process());
}

// The end requests of the console and the service (RunHeadless, RunService) stand in for
// signals.
std::unique_ptr<iow::IowKit> EndOnSignals(iow::IowKit& kit) {
  return std::make_unique<EndAtReleaseKit>(kit, windows::EndRequest::Process());
}

}  // namespace platform
