#include "platform/windows/setup_probe_windows_32.hpp"

#include "platform/windows/utf16.hpp"

namespace platform::windows {

DllSetupProbe::DllSetupProbe(DllSetupPlaces places) : places_(std::move(places)) {}

DllSetupProbe::~DllSetupProbe() = default;

SetupFacts DllSetupProbe::collect() {
  shared_.reset();
  dll_.reset();
  bus_.reset();
  bus_problems_.clear();

  SetupFacts facts;
  facts.device_directory = "HID";
  facts.nodes = places_.iowarriors();
  facts.user = ProcessUserName();
  WindowsPortFacts ports;
  ports.dlls_only = true;
  ports.elevated = places_.elevated();
  ports.isa_bus_name = Narrow(places_.isa_bus);
  bus_ = std::make_unique<IsaBus>(places_.isa_bus, kIsaBusTimeout, [this](std::string_view line) {
    bus_problems_ += (bus_problems_.empty() ? "" : "; ") + std::string(line);
  });

  ports.dll_tried = true;
  dll_ = std::make_unique<PortIoDll>(places_.dlls);
  ports.ports_ready = dll_->acquire(places_.first_port, places_.port_count);
  for (const PortIoAttempt& attempt : dll_->attempts()) {
    ports.dlls.push_back({attempt.file, attempt.failure.empty() ? Narrow(dll_->loaded_path()) : "", attempt.failure});
  }
  if (ports.ports_ready) {
    ports.dll_loaded = Narrow(dll_->loaded()->file);
  } else {
    ports.dll_error = dll_->failure();
  }
  {
    const auto hold = bus_->hold();
    ports.isa_bus_held = hold.held();
  }
  ports.isa_bus_problem = bus_problems_;
  if (ports.ports_ready) shared_ = std::make_unique<IsaBusPortIo>(*dll_, *bus_);
  facts.windows = std::move(ports);
  return facts;
}

iow::PortIo& DllSetupProbe::ports() {
  if (shared_) return *shared_;
  return none_;
}

}  // namespace platform::windows

namespace platform {

std::unique_ptr<SetupProbe> OpenSetupProbe(const PortAccess&) { return std::make_unique<windows::DllSetupProbe>(); }

}  // namespace platform
