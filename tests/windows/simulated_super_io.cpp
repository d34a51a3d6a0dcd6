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
constexpr std::uint8_t kVendorIdHigh = 0x23;  // Fintek: vendor ID 0x1934, high byte
constexpr std::uint8_t kVendorIdLow = 0x24;   // Fintek: vendor ID, low byte
constexpr unsigned kNuvotonMonitor = 0x0B;    // the Nuvoton chips' hardware monitor device
constexpr unsigned kFintekMonitor = 4;        // the Fintek chips' hardware monitor device
constexpr std::uint8_t kActivate = 0x30;      // logical device register: bit 0 activates it
constexpr std::uint8_t kBaseHigh = 0x60;      // logical device register: base, high byte
constexpr std::uint8_t kBaseLow = 0x61;       // logical device register: base, low byte
constexpr std::uint8_t kBankSelect = 0x4E;    // Nuvoton monitor: selects the bank, in every bank
constexpr std::size_t kNuvotonBanks = 16;     // Nuvoton monitor: banks 0 to 15
constexpr unsigned kNuvotonFanBank = 4;       // Nuvoton monitor: the bank of the fan counts
constexpr std::uint8_t kNuvotonFans = 0xB0;   // fan1's count, bits 12-5; bits 4-0 follow
constexpr std::uint8_t kFintekStart = 0x01;   // bit 0 starts voltages and temperatures, bit 1 fans
constexpr std::uint8_t kFintekFans = 0xA0;    // fan1's count, high byte; the low byte follows
constexpr std::uint8_t kFintekFanStep = 16;   // from one Fintek fan's count to the next

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

bool Ite(const SimulatedSuperIo::Chip& chip) { return !chip.nuvoton && !chip.fintek; }

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
  for (unsigned slot = 0; slot < chips_.size(); ++slot) {
    if (!chips_[slot] || chips_[slot]->state.monitor.empty()) continue;
    const Chip chip = chips_[slot]->chip;
    for (std::size_t fan = 0; fan < chip.fans.size(); ++fan) {
      set_fan_count(slot, static_cast<int>(fan) + 1, chip.fans[fan]);
    }
  }
  for (const auto& chip : chips_) {
    if (!chip || !Ite(chip->chip)) continue;
    monitor_.set_chip({chip->chip.id, chip->chip.revision});
    break;
  }
  monitor_.acquire(0x295, 2);
}

SimulatedSuperIo::Chip SimulatedSuperIo::Nct6798() {
  Chip chip;
  chip.id = 0xD42B;
  chip.nuvoton = true;
  chip.monitor = 0x290;
  return chip;
}

SimulatedSuperIo::Chip SimulatedSuperIo::F71882fg() {
  Chip chip;
  chip.id = 0x0541;
  chip.fintek = true;
  chip.monitor = 0x290;
  return chip;
}

void SimulatedSuperIo::set_fan_count(unsigned slot, int fan, std::uint16_t count) {
  Present& chip = *chips_.at(slot);
  const auto at = static_cast<std::size_t>(fan - 1);
  chip.chip.fans.at(at) = count;
  if (chip.chip.nuvoton) {
    auto& bank = chip.state.monitor.at(kNuvotonFanBank);
    bank[kNuvotonFans + 2 * at] = static_cast<std::uint8_t>(count >> 5);
    bank[kNuvotonFans + 2 * at + 1] = static_cast<std::uint8_t>(count & 0x1F);
  } else {
    auto& bank = chip.state.monitor.at(0);
    bank[kFintekFans + kFintekFanStep * at] = static_cast<std::uint8_t>(count >> 8);
    bank[kFintekFans + kFintekFanStep * at + 1] = static_cast<std::uint8_t>(count & 0xFF);
  }
}

void SimulatedSuperIo::set_bank(unsigned slot, std::uint8_t bank) {
  for (auto& registers : chips_.at(slot)->state.monitor) registers[kBankSelect] = bank;
}

SimulatedSuperIo::Present SimulatedSuperIo::Make(const Chip& chip) {
  Present made{chip, {}, 0, 0};
  made.state.configuring = chip.configuring;
  made.state.global[kChipIdHigh] = static_cast<std::uint8_t>(chip.id >> 8);
  made.state.global[kChipIdLow] = static_cast<std::uint8_t>(chip.id & 0xFF);
  made.state.global[kChipRevision] = chip.revision;
  made.state.devices.assign(256, {});
  if (Ite(chip)) {
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
  if (chip.fintek) {
    made.state.global[kVendorIdHigh] = 0x19;
    made.state.global[kVendorIdLow] = 0x34;
  }
  if (!Ite(chip) && chip.monitor != 0) {
    auto& registers = made.state.devices[chip.nuvoton ? kNuvotonMonitor : kFintekMonitor];
    registers[kActivate] = chip.monitor_active ? 0x01 : 0x00;
    registers[kBaseHigh] = static_cast<std::uint8_t>(chip.monitor >> 8);
    registers[kBaseLow] = static_cast<std::uint8_t>(chip.monitor & 0xFF);
    made.state.monitor.assign(chip.nuvoton ? kNuvotonBanks : 1, {});
    if (chip.fintek) made.state.monitor[0][kFintekStart] = 0x03;
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
  } else if (Present* owner = own_monitor(port, data); owner != nullptr) {
    value = data ? monitor_register(*owner) : owner->monitor_address;
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
    } else if (!Ite(chip->chip) && value == kNuvotonLeave) {
      chip->state.configuring = false;
    } else {
      chip->index = value;
    }
  } else if (Present* owner = own_monitor(port, data); owner != nullptr) {
    if (!data) {
      owner->monitor_address = value;
    } else if (owner->chip.nuvoton && owner->monitor_address == kBankSelect) {
      set_bank(owner == &*chips_[0] ? 0 : 1, value);
    } else {
      monitor_register(*owner) = value;
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
    if (Ite(chip.chip) && (value & 0x02) != 0) chip.state.configuring = false;
    return;
  }
  if (chip.index < chip.state.global.size()) {
    chip.state.global[chip.index] = value;
  } else {
    chip.state.devices[chip.state.global[kDeviceSelect]][chip.index] = value;
  }
}

void SimulatedSuperIo::key(Present& chip, unsigned slot, std::uint8_t value) {
  if (!Ite(chip.chip)) {
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
    if (!chip || !Ite(chip->chip)) continue;
    const auto& registers = chip->state.devices[kEnvironmentController];
    const auto base = static_cast<std::uint16_t>(registers[0x60] << 8 | registers[0x61]);
    if (port == base + 5) return 0x295;
    if (port == base + 6) return 0x296;
    return 0;
  }
  return 0;
}

SimulatedSuperIo::Present* SimulatedSuperIo::own_monitor(std::uint16_t port, bool& data) {
  for (auto& chip : chips_) {
    if (!chip || chip->state.monitor.empty()) continue;
    const auto& registers = chip->state.devices[chip->chip.nuvoton ? kNuvotonMonitor : kFintekMonitor];
    if ((registers[kActivate] & 0x01) == 0) continue;
    const unsigned base = (registers[kBaseHigh] << 8 | registers[kBaseLow]) & ~7u;
    if (port == base + 5 || port == base + 6) {
      data = port == base + 6;
      return &*chip;
    }
  }
  return nullptr;
}

std::uint8_t& SimulatedSuperIo::monitor_register(Present& chip) {
  auto& banks = chip.state.monitor;
  const std::size_t bank = chip.chip.nuvoton ? banks[0][kBankSelect] & 0x0F : 0;
  return banks[bank][chip.monitor_address];
}

}  // namespace platform::windows
