// The Windows desktop: Form1 in the plain Win32 API, the performance-counter clock,
// the IO-Warrior over HID and port I/O through a DLL.

#include <exception>

#include "platform/desktop.hpp"
#include "platform/diagnostics.hpp"
#include "platform/windows/form1_window.hpp"
#include "platform/windows/hid_iowkit.hpp"
#include "platform/windows/port_io_dll.hpp"
#include "platform/windows/windows_clock.hpp"

// winuser.h names its own OpenDesktop (a macro for OpenDesktopW); ours is meant here.
#undef OpenDesktop

namespace platform {
namespace {

class WindowsDesktop final : public Desktop {
 public:
  explicit WindowsDesktop(const DesktopSettings& settings) : window_(settings.form, clock_, settings.real_deadline) {}

  EventQueue& events() override { return window_; }
  WindowSystem& window() override { return window_; }
  iow::Clock& clock() override { return clock_; }

 private:
  windows::WindowsClock clock_;
  windows::Form1Window window_;
};

class WindowsHardware final : public Hardware {
 public:
  iow::IowKit& iowkit() override { return iowkit_; }
  iow::PortIo& ports() override { return ports_; }

 private:
  windows::HidIowKit iowkit_;
  windows::PortIoDll ports_;
};

}  // namespace

// The emulated sign's window (settings.sign_view) is not drawn on Windows.
std::unique_ptr<Desktop> OpenDesktop(const DesktopSettings& settings) {
  windows::UsePerMonitorDpi();
  try {
    return std::make_unique<WindowsDesktop>(settings);
  } catch (const std::exception& error) {
    Diagnostic(std::string("OpenDesktop: ") + error.what());
    return nullptr;
  }
}

std::unique_ptr<Hardware> OpenHardware() { return std::make_unique<WindowsHardware>(); }

}  // namespace platform
