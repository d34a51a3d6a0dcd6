#include "platform/windows/setup/setup_probe_windows_32.hpp"

#include "platform/windows/base/utf16.hpp"

namespace platform::windows {

DllSetupProbe::DllSetupProbe(DllSetupPlaces places) : places_(std::move(places)) {}

DllSetupProbe::~DllSetupProbe() = default;

SetupFacts DllSetupProbe::collect() {
  bus_.release();
  dll_.reset();

  SetupFacts facts;
  WindowsPortFacts ports;
  ports.dlls_only = true;
  GatherCommonFacts(places_, facts, ports, bus_);

  iow::PortIo* const backend = GainPortsThroughDll(places_, dll_, ports);
  for (const PortIoAttempt& attempt : dll_->attempts()) {
    ports.dlls.push_back({attempt.file, attempt.failure.empty() ? Narrow(dll_->loaded_path()) : "", attempt.failure});
  }
  bus_.finish(ports, backend);
  facts.windows = std::move(ports);
  return facts;
}

iow::PortIo& DllSetupProbe::ports() { return bus_.ports(); }

}  // namespace platform::windows

namespace platform {

std::unique_ptr<SetupProbe> OpenSetupProbe(const PortAccess&) { return std::make_unique<windows::DllSetupProbe>(); }

}  // namespace platform
