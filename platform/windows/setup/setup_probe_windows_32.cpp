#include "platform/windows/setup/setup_probe_windows_32.hpp"

#include "platform/windows/base/utf16.hpp"

namespace platform::windows {

DllSetupProbe::DllSetupProbe(DllSetupPlaces places) : places_(std::move(places)) {}

DllSetupProbe::~DllSetupProbe() = default;

SetupFacts DllSetupProbe::collect() {
  bus_.release();
  dll_.reset();

  SetupFacts facts;
  facts.device_directory = "HID";
  facts.nodes = places_.iowarriors();
  facts.user = ProcessUserName();
  WindowsPortFacts ports;
  ports.dlls_only = true;
  ports.elevated = places_.elevated();
  ports.isa_bus_name = Narrow(places_.isa_bus);
  bus_.open(places_.isa_bus);

  ports.dll_tried = true;
  dll_ = std::make_unique<PortIoDll>(places_.dlls);
  const bool gained = dll_->acquire(places_.first_port, places_.port_count);
  for (const PortIoAttempt& attempt : dll_->attempts()) {
    ports.dlls.push_back({attempt.file, attempt.failure.empty() ? Narrow(dll_->loaded_path()) : "", attempt.failure});
  }
  if (gained) {
    ports.dll_loaded = Narrow(dll_->loaded()->file);
  } else {
    ports.dll_error = dll_->failure();
  }
  bus_.finish(ports, gained ? dll_.get() : nullptr);
  facts.windows = std::move(ports);
  return facts;
}

iow::PortIo& DllSetupProbe::ports() { return bus_.ports(); }

}  // namespace platform::windows

namespace platform {

std::unique_ptr<SetupProbe> OpenSetupProbe(const PortAccess&) { return std::make_unique<windows::DllSetupProbe>(); }

}  // namespace platform
