// The Windows desktop: Form1 in the plain Win32 API, the performance-counter clock,
// the IO-Warrior over HID and port I/O through PawnIO or a DLL (a 32-bit program: a DLL).

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <exception>
#include <filesystem>
#include <string>

#include "platform/desktop.hpp"
#include "platform/diagnostics.hpp"
#include "platform/line_input.hpp"
#include "platform/windows/window/form1_window.hpp"
#include "platform/windows/hid/hid_iowkit.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"
#include "platform/windows/service/console_lines.hpp"
#include "platform/windows/service/end_request.hpp"
#include "platform/windows/hid/hid_watch.hpp"
#include "platform/windows/clock/windows_clock.hpp"
#if defined(_WIN64)
#include "platform/windows/ports/windows_port_io.hpp"
#include "platform/windows/sensors/board_sensors.hpp"
#else
#include "platform/windows/ports/windows_port_io_32.hpp"
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
  // Where no ITE monitor answers: the sensors read instead (once identified).
  PortAccess port_access() const override {
#if defined(_WIN64)
    auto& ports = const_cast<windows::WindowsPortIo&>(ports_);
    return {false, 0, "", ports.foreign_ports(), ports.sensor_sources(), ports.driver(), ports.sensor_missing()};
#else
    return {};
#endif
  }
  std::unique_ptr<DeviceWatch> watch_device(iow::Clock& clock) override {
    return std::make_unique<windows::HidWatch>(iowkit_, clock, &windows::EndRequest::Process());
  }

 private:
  windows::HidIowKit iowkit_;
  // Only the real hardware has key lines that must not be left low.
  EndAtReleaseKit guarded_{iowkit_, windows::EndRequest::Process()};
#if defined(_WIN64)
  windows::Win32Processor processor_;
  windows::PawnIoBoardSensors sensors_{processor_, [] { return std::make_unique<windows::Win32PawnIoDevice>(); },
                                       windows::ModuleBesideProgram().parent_path()};
  windows::WindowsPortIo ports_{std::make_unique<windows::Win32PawnIoDevice>(), windows::ModuleBesideProgram(),
                                windows::DefaultPortIoLibraries(), &sensors_};
#else
  windows::WindowsPortIo ports_;
#endif
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

bool StartWindowedProgram(int argc, char** argv) {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  const std::filesystem::path windowed = std::filesystem::path(path).replace_extension(L".exe");
  if (windowed == std::filesystem::path(path)) return false;
  std::wstring parameters;
  for (int i = 1; i < argc; ++i) {
    // Quoted as the C runtime splits a command line: backslashes double only before a quote.
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : windows::Widen(argv[i])) {
      if (c == L'\\') {
        ++backslashes;
      } else {
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
      }
      quoted += c;
    }
    quoted.append(backslashes, L'\\');
    parameters += (i > 1 ? L" " : L"") + quoted + L"\"";
  }
  // ShellExecute, not CreateProcess: only it shows the UAC prompt that the manifest asks for.
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC;
  info.lpFile = windowed.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info)) return true;
  Diagnostic("lumatext: " + windows::Narrow(windowed.wstring()) + " startet nicht: " + windows::LastErrorText());
  return false;
}

std::unique_ptr<iow::Clock> OpenRealClock() {
  return std::make_unique<windows::WindowsClock>(&windows::EndRequest::Process());
}

std::unique_ptr<LineInput> OpenStandardInput() {
  return std::make_unique<windows::ConsoleLines>(GetStdHandle(STD_INPUT_HANDLE), windows::EndRequest::Process());
}

// The end requests of the console and the service (RunHeadless, RunService) stand in for
// signals.
std::unique_ptr<iow::IowKit> EndOnSignals(iow::IowKit& kit) {
  return std::make_unique<EndAtReleaseKit>(kit, windows::EndRequest::Process());
}

}  // namespace platform
