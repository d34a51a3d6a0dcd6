#include "platform/windows/ports/windows_port_io_32.hpp"

#include "platform/diagnostics.hpp"
#include "platform/windows/base/user_advice.hpp"
#include "platform/windows/base/utf16.hpp"

namespace platform::windows {

WindowsPortIo::WindowsPortIo(std::span<const PortIoLibrary> dlls) : dll_(dlls) {}

bool WindowsPortIo::acquire(std::uint16_t first, std::uint16_t count) {
  shared_.reset();
  if (!dll_.acquire(first, count)) {
    std::string advice =
        "Keine Port-I/O-DLL zu laden: IO.DLL oder inpout32.dll geh\u00f6rt in den Ordner von lumatext.exe oder nach "
        "System32 (siehe Ports.txt im Programmordner).";
    for (const PortIoAttempt& attempt : dll_.attempts()) advice += "\n" + attempt.failure;
    AdviseUser(advice);
    return false;
  }
  std::string line = "PortAccess: die Ports laufen \u00fcber " + Narrow(dll_.loaded()->file);
  for (const PortIoAttempt& attempt : dll_.attempts()) {
    if (!attempt.failure.empty()) line += "; nicht genommen: " + attempt.failure;
  }
  Diagnostic(line);
  shared_ = std::make_unique<IsaBusPortIo>(dll_, bus_);
  return true;
}

void WindowsPortIo::out(std::uint16_t port, std::uint8_t value) {
  if (shared_) shared_->out(port, value);
}

std::uint8_t WindowsPortIo::in(std::uint16_t port) { return shared_ ? shared_->in(port) : std::uint8_t{0xFF}; }

}  // namespace platform::windows
