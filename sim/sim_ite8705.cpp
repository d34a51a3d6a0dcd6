#include "sim/sim_ite8705.hpp"

#include <algorithm>

#include "sim/event_log.hpp"

namespace sim {
namespace {

// The chip as it sits on the board, independent of what the program assumes of it.
constexpr std::uint16_t kAddressPort = 0x295;    // environment controller base 0x290 + 5
constexpr std::uint16_t kDataPort = 0x296;       // base + 6
constexpr std::uint8_t kTemperatureRegister = 0x29;  // temperature input 1
constexpr std::uint8_t kFanCountRegister = 0x0D;     // fan 1 tachometer count
// What an unused register or an undecoded port reads as.
constexpr std::uint8_t kOpenBus = 0xFF;

}  // namespace

SimIte8705::SimIte8705(std::vector<std::uint8_t> temperatures, std::vector<std::uint8_t> fan_counts, EventLog* log)
    : temperatures_(std::move(temperatures)), fan_counts_(std::move(fan_counts)), log_(log) {}

bool SimIte8705::acquire(std::uint16_t first, std::uint16_t count) {
  acquired_ = accessible_ && first <= kAddressPort && first + count > kDataPort;
  return acquired_;
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
    value = next(fan_counts_, fan_count_reads_);
  }
  if (log_ != nullptr) log_->record("port-in", Hex(port, 3) + ' ' + Hex(value, 2));
  return value;
}

std::uint8_t SimIte8705::next(const std::vector<std::uint8_t>& values, int& reads) {
  if (values.empty()) return kOpenBus;
  const auto index = std::min(static_cast<std::size_t>(reads), values.size() - 1);
  ++reads;
  return values[index];
}

}  // namespace sim
