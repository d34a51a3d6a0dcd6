#include "platform/windows/ports/windows_port_io.hpp"

#include "platform/diagnostics.hpp"
#include "platform/windows/base/user_advice.hpp"

namespace platform::windows {
namespace {

// The monitor's address and data ports, which identify asks for as the program does.
constexpr std::uint16_t kMonitorPorts = 0x295;
constexpr std::uint16_t kMonitorPortCount = 2;

}  // namespace

WindowsPortIo::WindowsPortIo(std::unique_ptr<PawnIoDevice> device, std::filesystem::path module,
                             std::span<const PortIoLibrary> dlls, BoardSensors* sensors)
    : device_(std::move(device)), pawnio_(*device_, std::move(module), bus_), dll_(dlls), sensors_(sensors) {}

void WindowsPortIo::identify() {
  if (identified_ || sensors_ == nullptr) return;
  identified_ = true;
  pawnio_ready_ = pawnio_.acquire(kMonitorPorts, kMonitorPortCount);
  if (pawnio_ready_ || !pawnio_.no_monitor()) return;
  foreign_ = pawnio_.failure();
  monitors_ = sensors_->discover(pawnio_.device(), bus_);
}

std::vector<HwmonDevice> WindowsPortIo::kernel_monitors() const {
  // Asked at the start: whether the ports are the ITE monitor's decides what there is.
  const_cast<WindowsPortIo*>(this)->identify();
  return monitors_;
}

void WindowsPortIo::read_kernel_monitors(const std::optional<HwmonSource>& temperature,
                                         const std::optional<HwmonSource>& fan, const std::string& /*why*/) {
  // Where no temperature fits, sensor_missing says why in Windows' terms.
  temperature_ = temperature;
  fan_ = fan;
}

std::string WindowsPortIo::sensor_sources() const {
  if (foreign_.empty() || !temperature_) return {};
  std::string text = "Temperatur: " + temperature_->description + ", " + sensors_->origin(temperature_->path);
  text += fan_ ? "; L\u00fcfter: " + fan_->description + ", " + sensors_->origin(fan_->path)
               : std::string("; kein L\u00fcfter (--- rpm)");
  return text;
}

std::string WindowsPortIo::sensor_missing() const {
  if (foreign_.empty() || temperature_) return {};
  const std::string why = sensors_->missing();
  return "gesucht: das Temperaturmodul von PawnIO, das zum Prozessor passt (IntelMSR.bin, AMDFamily17.bin, "
         "AMDFamily10.bin, AMDFamily0F.bin)" + (why.empty() ? std::string() : ": " + why);
}

iow::MonitorDriver* WindowsPortIo::driver() { return !foreign_.empty() && temperature_ ? &readings_ : nullptr; }

bool WindowsPortIo::use(iow::PortIo& backend) {
  shared_ = std::make_unique<IsaBusPortIo>(backend, bus_);
  return true;
}

bool WindowsPortIo::acquire(std::uint16_t first, std::uint16_t count) {
  shared_.reset();
  // identify asked PawnIO already: its answer stands.
  const bool asked = identified_ && first == kMonitorPorts && count == kMonitorPortCount;
  if (asked && !foreign_.empty()) {
    if (temperature_) {
      Diagnostic("PortAccess: " + foreign_ + " Die Messwerte: " + sensor_sources());
      return true;
    }
    AdviseUser(foreign_ + " Kein Temperatursensor der CPU: " + sensor_missing() + ".");
    return false;
  }
  if (asked ? pawnio_ready_ : pawnio_.acquire(first, count)) return use(pawnio_);
  if (!pawnio_.absent()) {
    // PawnIO is there but cannot serve: its reason is the one to act on.
    AdviseUser(pawnio_.failure());
    return false;
  }
  if (!dll_.acquire(first, count)) {
    AdviseUser(pawnio_.failure());
    return false;
  }
  Diagnostic("PortAccess: PawnIO fehlt; die Ports laufen \u00fcber eine Port-I/O-DLL");
  return use(dll_);
}

void WindowsPortIo::out(std::uint16_t port, std::uint8_t value) {
  if (shared_) shared_->out(port, value);
}

std::uint8_t WindowsPortIo::in(std::uint16_t port) { return shared_ ? shared_->in(port) : std::uint8_t{0xFF}; }

std::optional<std::int64_t> WindowsPortIo::Readings::temperature_millidegrees() {
  return owner_.temperature_ ? owner_.sensors_->read(owner_.temperature_->path) : std::nullopt;
}

std::optional<std::int64_t> WindowsPortIo::Readings::fan_rpm() {
  return owner_.fan_ ? owner_.sensors_->read(owner_.fan_->path) : std::nullopt;
}

}  // namespace platform::windows
