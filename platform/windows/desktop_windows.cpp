// The Windows desktop: Form1 in the plain Win32 API, the performance-counter clock,
// the IO-Warrior over HID and port I/O through PawnIO or a DLL.

#include <exception>

#include "platform/desktop.hpp"
#include "platform/diagnostics.hpp"
#include "platform/windows/form1_window.hpp"
#include "platform/windows/hid_iowkit.hpp"
#include "platform/windows/windows_port_io.hpp"
#include "platform/windows/sign_window.hpp"
#include "platform/windows/windows_clock.hpp"

// winuser.h names its own OpenDesktop (a macro for OpenDesktopW); ours is meant here.
#undef OpenDesktop

namespace platform {
namespace {

// The gap between Form1 and the emulated sign below it, in pixels.
constexpr int kSignGap = 20;

class WindowsDesktop final : public Desktop, public WindowSystem {
 public:
  explicit WindowsDesktop(const DesktopSettings& settings) : form_(settings.form, clock_, settings.real_deadline) {
    if (settings.sign_view) {
      sign_ = std::make_unique<windows::SignWindow>(settings.sign_view);
      // The sign keeps running while the program waits; Form1's clicks meanwhile only queue.
      clock_.dispatch_while_sleeping([this] { form_.dispatch_waiting(); });
    }
  }

  EventQueue& events() override { return form_; }
  WindowSystem& window() override { return *this; }
  iow::Clock& clock() override { return clock_; }

  void show_form() override {
    form_.show_form();
    if (sign_) {
      RECT frame{};
      GetWindowRect(form_.hwnd(), &frame);
      sign_->show(frame.left, frame.bottom + kSignGap);
    }
  }
  void message_box(std::string_view text, std::string_view title) override { form_.message_box(text, title); }

 private:
  windows::WindowsClock clock_;
  windows::Form1Window form_;
  std::unique_ptr<windows::SignWindow> sign_;
};

class WindowsHardware final : public Hardware {
 public:
  iow::IowKit& iowkit() override { return iowkit_; }
  iow::PortIo& ports() override { return ports_; }

 private:
  windows::HidIowKit iowkit_;
  windows::WindowsPortIo ports_;
};

}  // namespace

std::unique_ptr<Desktop> OpenDesktop(const DesktopSettings& settings) {
  // While a text is typed the window answers no messages for up to a minute: no ghost
  // window may then swallow clicks or offer to end the program mid-press.
  DisableProcessWindowsGhosting();
  windows::UsePerMonitorDpi();
  try {
    return std::make_unique<WindowsDesktop>(settings);
  } catch (const std::exception& error) {
    Diagnostic(std::string("OpenDesktop: ") + error.what());
    return nullptr;
  }
}

// Port access needs no privilege of the process's own here: the driver grants it.
std::unique_ptr<Hardware> OpenHardware(std::uint16_t, std::uint16_t) { return std::make_unique<WindowsHardware>(); }

std::unique_ptr<iow::Clock> OpenRealClock() { return std::make_unique<windows::WindowsClock>(); }

// Windows has no end signals: Ctrl+C ends a console program at once, a GUI program
// gets none.
std::unique_ptr<iow::IowKit> EndOnSignals(iow::IowKit&) { return nullptr; }

}  // namespace platform
