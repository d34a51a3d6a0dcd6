#include "sim/sim_ite8705.hpp"

#include <algorithm>

#include "sim/event_log.hpp"

namespace sim {
namespace {

// The chip as it sits on the board, independent of what the program assumes of it.
constexpr std::uint16_t kAddressPort = 0x295;    // environment controller base 0x290 + 5
constexpr std::uint16_t kDataPort = 0x296;       // base + 6
constexpr std::uint8_t kTemperatureRegister = 0x29;  // temperature input 1
constexpr std::uint8_t kFanCountRegister = 0x0D;     // fan 1 tachometer count (16-bit mode: low byte)
constexpr std::uint8_t kFanDivisorRegister = 0x0B;   // fan divisors; fan 1 in bits 2-0
constexpr std::uint8_t kFan16BitRegister = 0x0C;     // 16-bit counter enable; fan 1 in bit 0
constexpr std::uint8_t kFanCountHighRegister = 0x18; // fan 1 count, high byte
// What an unused register or an undecoded port reads as.
constexpr std::uint8_t kOpenBus = 0xFF;

}  // namespace

SimIte8705::SimIte8705(std::vector<std::uint8_t> temperatures, std::vector<std::uint16_t> fan_counts, EventLog* log)
    : temperatures_(std::move(temperatures)), fan_counts_(std::move(fan_counts)), log_(log) {}

bool SimIte8705::acquire(std::uint16_t first, std::uint16_t count) {
  if (hwmon_) {
    // No chip answers at the ports: the readings are the kernel's monitors', where one fits.
    if (log_ != nullptr) log_->record("sensors", kernel_ ? kernel_->description() : "keine");
    return kernel_ != nullptr;
  }
  acquired_ = accessible_ && first <= kAddressPort && first + count > kDataPort;
  return acquired_;
}

std::string SimIte8705::foreign_ports() const {
  if (!hwmon_) return {};
  return "an 0x290 antwortet kein ITE 8705 (simuliert, Sensoren aus " + hwmon_->string() + ")";
}

std::vector<platform::HwmonDevice> SimIte8705::kernel_monitors() const {
  return hwmon_ ? platform::ReadHwmonDevices(*hwmon_) : std::vector<platform::HwmonDevice>{};
}

void SimIte8705::read_kernel_monitors(const std::optional<platform::HwmonSource>& temperature,
                                      const std::optional<platform::HwmonSource>& fan, const std::string&) {
  kernel_.reset();
  if (hwmon_ && temperature) kernel_ = std::make_unique<platform::KernelMonitorFiles>(*temperature, fan);
}

void SimIte8705::out(std::uint16_t port, std::uint8_t value) {
  if (log_ != nullptr) log_->record("port-out", Hex(port, 3) + ' ' + Hex(value, 2));
  if (port == kAddressPort) selected_register_ = value;
}

std::uint8_t SimIte8705::in(std::uint16_t port) {
  std::uint8_t value = kOpenBus;
  if (!acquired_) {
    // Without access a port read returns nothing of the chip.
  } else if (port == kDataPort && selected_register_ == kTemperatureRegister) {
    value = next(temperatures_, temperature_reads_);
  } else if (port == kDataPort && selected_register_ == kFanCountRegister) {
    last_count_ = next(fan_counts_, fan_count_reads_);
    value = static_cast<std::uint8_t>(last_count_ & 0xFF);
  } else if (port == kDataPort && chip_.id != 0x8705) {
    if (selected_register_ == kFanDivisorRegister) value = fan_divisors_;
    if (selected_register_ == kFan16BitRegister) value = fan_16bit_;
    if (selected_register_ == kFanCountHighRegister) value = static_cast<std::uint8_t>(last_count_ >> 8);
  }
  if (log_ != nullptr) log_->record("port-in", Hex(port, 3) + ' ' + Hex(value, 2));
  return value;
}

template <typename T>
T SimIte8705::next(const std::vector<T>& values, int& reads) {
  if (values.empty()) return static_cast<T>(~T{0});
  const auto index = std::min(static_cast<std::size_t>(reads), values.size() - 1);
  ++reads;
  return values[index];
}

}  // namespace sim
