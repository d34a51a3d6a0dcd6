#include "tests/windows/simulated_super_io.hpp"

#include "platform/hex_text.hpp"

namespace platform::windows {
namespace {

constexpr std::array<std::uint16_t, 2> kConfigPort{0x2E, 0x4E};
constexpr std::uint8_t kConfigControl = 0x02;  // ITE: bit 1 returns to waiting for the key
constexpr std::uint8_t kDeviceSelect = 0x07;
constexpr std::uint8_t kChipIdHigh = 0x20;
constexpr std::uint8_t kChipIdLow = 0x21;
constexpr std::uint8_t kChipRevision = 0x22;
constexpr std::uint8_t kOpenBus = 0xFF;
constexpr std::uint8_t kNuvotonLeave = 0xAA;
constexpr unsigned kEnvironmentController = 4;

struct Bases {
  unsigned device;
  std::uint16_t first;   // registers 0x60/0x61
  std::uint16_t second;  // registers 0x62/0x63
};

// The IT8705F's logical devices with base registers, at their defaults.
constexpr std::array<Bases, 10> kIte8705Bases{{
    {0x0, 0x3F0, 0},       // floppy disk controller
    {0x1, 0x3F8, 0},       // serial port 1
    {0x2, 0x2F8, 0},       // serial port 2
    {0x3, 0x378, 0x778},   // parallel port, ECP
    {kEnvironmentController, 0x290, 0},
    {0x5, 0x060, 0x064},   // keyboard controller
    {0x7, 0, 0},           // GPIO: set by the firmware when used
    {0x8, 0x201, 0},       // game port
    {0x9, 0x310, 0},       // consumer IR
    {0xA, 0x300, 0},       // MIDI
}};

// ITE's key into configuration mode on a slot.
std::array<std::uint8_t, 4> Key(unsigned slot) {
  return {0x87, 0x01, 0x55, slot == 0 ? std::uint8_t{0x55} : std::uint8_t{0xAA}};
}

}  // namespace

SimulatedSuperIo::SimulatedSuperIo(std::optional<Chip> slot0, std::optional<Chip> slot1, sim::SimIte8705& monitor,
                                   std::vector<std::string>& log)
    : monitor_(monitor), log_(log) {
  if (slot0) chips_[0] = Make(*slot0);
  if (slot1) chips_[1] = Make(*slot1);
  for (const auto& chip : chips_) {
    if (!chip || chip->chip.nuvoton) continue;
    monitor_.set_chip({chip->chip.id, chip->chip.revision});
    break;
  }
  monitor_.acquire(0x295, 2);
}

SimulatedSuperIo::Present SimulatedSuperIo::Make(const Chip& chip) {
  Present made{chip, {}, 0, 0};
  made.state.configuring = chip.configuring;
  made.state.global[kChipIdHigh] = static_cast<std::uint8_t>(chip.id >> 8);
  made.state.global[kChipIdLow] = static_cast<std::uint8_t>(chip.id & 0xFF);
  made.state.global[kChipRevision] = chip.revision;
  made.state.devices.assign(256, {});
  if (!chip.nuvoton) {
    for (const Bases& bases : kIte8705Bases) {
      auto& registers = made.state.devices[bases.device];
      const std::uint16_t first = bases.device == kEnvironmentController ? chip.environment_controller : bases.first;
      registers[0x30] = 0x01;  // activated
      registers[0x60] = static_cast<std::uint8_t>(first >> 8);
      registers[0x61] = static_cast<std::uint8_t>(first & 0xFF);
      registers[0x62] = static_cast<std::uint8_t>(bases.second >> 8);
      registers[0x63] = static_cast<std::uint8_t>(bases.second & 0xFF);
    }
  }
  return made;
}

SimulatedSuperIo::Present* SimulatedSuperIo::at_config_port(std::uint16_t port, bool& data) {
  for (unsigned slot = 0; slot < kConfigPort.size(); ++slot) {
    if (chips_[slot] && (port == kConfigPort[slot] || port == kConfigPort[slot] + 1)) {
      data = port == kConfigPort[slot] + 1;
      return &*chips_[slot];
    }
  }
  return nullptr;
}

std::uint8_t SimulatedSuperIo::in(std::uint16_t port) {
  std::uint8_t value = kOpenBus;
  bool data = false;
  if (Present* chip = at_config_port(port, data); chip != nullptr) {
    // Outside configuration mode the chip does not decode its configuration ports.
    if (chip->state.configuring) value = data ? read_register(*chip) : chip->index;
  } else if (const std::uint16_t target = monitor_port(port); target != 0) {
    value = monitor_.in(target);
  }
  log_.push_back(Hex(port, 2) + "->" + Hex(value, 2));
  return value;
}

void SimulatedSuperIo::out(std::uint16_t port, std::uint8_t value) {
  log_.push_back(Hex(port, 2) + "<-" + Hex(value, 2));
  bool data = false;
  if (Present* chip = at_config_port(port, data); chip != nullptr) {
    const unsigned slot = chip == &*chips_[0] ? 0 : 1;
    if (!chip->state.configuring) {
      if (!data) key(*chip, slot, value);
    } else if (data) {
      write_register(*chip, value);
    } else if (chip->chip.nuvoton && value == kNuvotonLeave) {
      chip->state.configuring = false;
    } else {
      chip->index = value;
    }
  } else if (const std::uint16_t target = monitor_port(port); target != 0) {
    monitor_.out(target, value);
  }
}

std::uint8_t SimulatedSuperIo::read_register(Present& chip) const {
  if (chip.index < chip.state.global.size()) {
    // Configuration control is write-only.
    return chip.index == kConfigControl ? 0 : chip.state.global[chip.index];
  }
  return chip.state.devices[chip.state.global[kDeviceSelect]][chip.index];
}

void SimulatedSuperIo::write_register(Present& chip, std::uint8_t value) {
  if (chip.index == kChipIdHigh || chip.index == kChipIdLow || chip.index == kChipRevision) return;  // read-only
  if (chip.index == kConfigControl) {
    if (!chip.chip.nuvoton && (value & 0x02) != 0) chip.state.configuring = false;
    return;
  }
  if (chip.index < chip.state.global.size()) {
    chip.state.global[chip.index] = value;
  } else {
    chip.state.devices[chip.state.global[kDeviceSelect]][chip.index] = value;
  }
}

void SimulatedSuperIo::key(Present& chip, unsigned slot, std::uint8_t value) {
  if (chip.chip.nuvoton) {
    chip.key_progress = value == 0x87 ? chip.key_progress + 1 : 0;
    if (chip.key_progress == 2) chip.state.configuring = true;
  } else {
    const auto key = Key(slot);
    chip.key_progress = value == key[chip.key_progress] ? chip.key_progress + 1 : value == key[0] ? 1 : 0;
    if (chip.key_progress == key.size()) chip.state.configuring = true;
  }
  if (chip.state.configuring) chip.key_progress = 0;
}

std::uint16_t SimulatedSuperIo::monitor_port(std::uint16_t port) const {
  for (const auto& chip : chips_) {
    if (!chip || chip->chip.nuvoton) continue;
    const auto& registers = chip->state.devices[kEnvironmentController];
    const auto base = static_cast<std::uint16_t>(registers[0x60] << 8 | registers[0x61]);
    if (port == base + 5) return 0x295;
    if (port == base + 6) return 0x296;
    return 0;
  }
  return 0;
}

}  // namespace platform::windows
