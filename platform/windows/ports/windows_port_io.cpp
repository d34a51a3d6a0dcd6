#include "platform/windows/ports/windows_port_io.hpp"

#include "platform/diagnostics.hpp"
#include "platform/windows/base/user_advice.hpp"

namespace platform::windows {

WindowsPortIo::WindowsPortIo(std::unique_ptr<PawnIoDevice> device, std::filesystem::path module,
                             std::span<const PortIoLibrary> dlls)
    : device_(std::move(device)), pawnio_(*device_, std::move(module), bus_), dll_(dlls) {}

bool WindowsPortIo::acquire(std::uint16_t first, std::uint16_t count) {
  shared_.reset();
  iow::PortIo* backend = nullptr;
  if (pawnio_.acquire(first, count)) {
    backend = &pawnio_;
  } else if (!pawnio_.absent()) {
    // PawnIO is there but cannot serve: its reason is the one to act on.
    AdviseUser(pawnio_.failure());
    return false;
  } else if (dll_.acquire(first, count)) {
    Diagnostic("PortAccess: PawnIO fehlt; die Ports laufen \u00fcber eine Port-I/O-DLL");
    backend = &dll_;
  } else {
    AdviseUser(pawnio_.failure());
    return false;
  }
  shared_ = std::make_unique<IsaBusPortIo>(*backend, bus_);
  return true;
}

void WindowsPortIo::out(std::uint16_t port, std::uint8_t value) {
  if (shared_) shared_->out(port, value);
}

std::uint8_t WindowsPortIo::in(std::uint16_t port) { return shared_ ? shared_->in(port) : std::uint8_t{0xFF}; }

}  // namespace platform::windows
