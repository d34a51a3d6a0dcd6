#include "platform/windows/sensors/super_io_fan.hpp"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <span>
#include <string>

#include "platform/fan_counts.hpp"
#include "platform/hex_text.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {
namespace {

enum class Maker { kNuvoton, kFintek };

}  // namespace

// A supported chip as the kernel's driver knows it.
struct SuperIoFans::Model {
  Maker maker;
  std::uint16_t id;     // Nuvoton: under kNuvotonIdMask
  const char* name;     // the driver's chip name
  int fans;             // fan inputs, fan1 to fanN
  std::uint8_t device;  // the hardware monitor's logical device
};

namespace {

// The configuration (index) port of each slot; the data port follows it.
constexpr std::array<std::uint16_t, 2> kConfigPort{0x2E, 0x4E};
// Written twice to the index port, puts a Nuvoton or Fintek chip into configuration
// mode; written once, takes it out.
constexpr std::uint8_t kEnterKey = 0x87;
constexpr std::uint8_t kExitKey = 0xAA;
constexpr std::uint8_t kDeviceSelect = 0x07;     // configuration register: the logical device
constexpr std::uint8_t kChipId = 0x20;           // configuration registers 0x20/0x21: chip ID
constexpr std::uint8_t kVendorId = 0x23;         // 0x23/0x24: vendor ID, on Fintek chips
constexpr std::uint8_t kActivate = 0x30;         // logical device register: bit 0 activates it
constexpr std::uint8_t kBase = 0x60;             // logical device registers 0x60/0x61: base
constexpr std::uint8_t kActive = 0x01;           // register 0x30: the device is active
constexpr std::uint16_t kFintekVendor = 0x1934;  // registers 0x23/0x24 of a Fintek chip
// The Nuvoton chip ID's low three bits are the revision (nct6775: SIO_ID_MASK).
constexpr std::uint16_t kNuvotonIdMask = 0xFFF8;
// The monitor decodes 8 ports from a multiple of 8; some Fintek chips give the base
// with the address port's offset added.
constexpr std::uint16_t kBaseMask = 0xFFF8;
constexpr std::uint16_t kAddressPort = 5;  // from the base: selects the monitor register
constexpr std::uint16_t kDataPort = 6;     // from the base: the selected register
// Nuvoton monitor: register 0x4E of every bank selects the bank; the 13-bit fan counts
// lie in bank 4 from 0xB0, two registers a fan (count bits 12-5, then 4-0).
constexpr std::uint8_t kBankSelect = 0x4E;
constexpr std::uint8_t kNuvotonFanBank = 4;
constexpr std::uint8_t kNuvotonFans = 0xB0;
// Fintek monitor: the 16-bit fan counts from 0xA0, 16 registers a fan (high byte, low
// byte); register 0x01 starts the monitor (f71882fg: F71882FG_REG_START).
constexpr std::uint8_t kFintekFans = 0xA0;
constexpr std::uint8_t kFintekFanStep = 16;
constexpr std::uint8_t kFintekStart = 0x01;
constexpr std::uint8_t kFintekFansStarted = 0x02;  // register 0x01: the fan counters run
constexpr std::uint8_t kFintekPoweredDown = 0x04;  // register 0x01: the monitor is powered down
// The fan whose input the Nuvoton chips name CPUFANIN, the CPU fan header's.
constexpr int kNuvotonCpuFan = 2;

// The chips with 13-bit fan counts in bank 4, as nct6775 names them, with their fan
// inputs. The NCT6796D and later have a seventh, left out: its registers do not follow
// the others' pattern (the driver reads its speed at 0x4CE, not 0x4CC), and the count
// register is not known here.
constexpr std::array<SuperIoFans::Model, 9> kNuvotonChips{{
    {Maker::kNuvoton, 0xC560, "nct6779", 5, 0x0B},
    {Maker::kNuvoton, 0xC800, "nct6791", 6, 0x0B},
    {Maker::kNuvoton, 0xC910, "nct6792", 6, 0x0B},
    {Maker::kNuvoton, 0xD120, "nct6793", 6, 0x0B},
    {Maker::kNuvoton, 0xD350, "nct6795", 6, 0x0B},
    {Maker::kNuvoton, 0xD420, "nct6796", 6, 0x0B},
    {Maker::kNuvoton, 0xD450, "nct6797", 6, 0x0B},
    {Maker::kNuvoton, 0xD428, "nct6798", 6, 0x0B},
    {Maker::kNuvoton, 0xD800, "nct6799", 6, 0x0B},
}};

// The Fintek chips as f71882fg names them, with every fan input it reads (the F71808A's
// fan3 and the F8000's fan4 only measure).
constexpr std::array<SuperIoFans::Model, 18> kFintekChips{{
    {Maker::kFintek, 0x0901, "f71808e", 3, 0x04},
    {Maker::kFintek, 0x1001, "f71808a", 3, 0x04},
    {Maker::kFintek, 0x0507, "f71858fg", 3, 0x02},
    {Maker::kFintek, 0x0903, "f71858fg", 3, 0x02},  // F71858AD
    {Maker::kFintek, 0x0601, "f71862fg", 3, 0x04},
    {Maker::kFintek, 0x1106, "f71868a", 3, 0x04},
    {Maker::kFintek, 0x0814, "f71869", 3, 0x04},
    {Maker::kFintek, 0x1007, "f71869a", 3, 0x04},
    {Maker::kFintek, 0x0541, "f71882fg", 4, 0x04},
    {Maker::kFintek, 0x0723, "f71889fg", 3, 0x04},
    {Maker::kFintek, 0x0909, "f71889ed", 3, 0x04},
    {Maker::kFintek, 0x1005, "f71889a", 3, 0x04},
    {Maker::kFintek, 0x0581, "f8000", 4, 0x04},
    {Maker::kFintek, 0x1210, "f81768d", 3, 0x04},
    {Maker::kFintek, 0x0704, "f81865f", 2, 0x04},
    {Maker::kFintek, 0x1010, "f81866a", 3, 0x04},
    {Maker::kFintek, 0x1502, "f81866a", 3, 0x04},  // F81966
    {Maker::kFintek, 0x1806, "f81866a", 3, 0x04},  // F81968
}};

const SuperIoFans::Model* Lookup(std::span<const SuperIoFans::Model> models, std::uint16_t id) {
  const auto found = std::find_if(models.begin(), models.end(), [&](const auto& model) { return model.id == id; });
  return found == models.end() ? nullptr : &*found;
}

// "Slot 0 (Port 0x2E)".
std::string SlotText(unsigned slot) {
  return "Slot " + std::to_string(slot) + " (Port " + Hex(kConfigPort[slot]) + ")";
}

// LpcIO's functions on one device. Every call is made; the first failure is kept, and a
// read that fails gives 0xFF.
class Lpc {
 public:
  explicit Lpc(PawnIoDevice& device) : device_(device) {}

  void select_slot(unsigned slot) { call(kPawnIo.select_slot, {slot}); }
  void find_bars() { call(kPawnIo.find_bars, {}); }
  void out(std::uint16_t port, std::uint8_t value) { call(kPawnIo.pio_outb, {port, value}, port); }
  std::uint8_t in(std::uint16_t port) { return read(kPawnIo.pio_inb, port, port); }
  void config_out(std::uint8_t reg, std::uint8_t value) { call(kPawnIo.superio_outb, {reg, value}); }
  std::uint8_t config_in(std::uint8_t reg) { return read(kPawnIo.superio_inb, reg); }
  // Configuration registers `reg` (high byte) and `reg` + 1 (low byte).
  std::uint16_t config_word(std::uint8_t reg) {
    const std::uint8_t high = config_in(reg);
    return static_cast<std::uint16_t>(high << 8 | config_in(static_cast<std::uint8_t>(reg + 1)));
  }

  // Empty while every call succeeded, else the first failure (German, for the user).
  const std::string& failure() const { return failure_; }

 private:
  std::uint8_t read(const PawnIoFunction& function, std::uint64_t argument, std::uint16_t port = 0) {
    std::array<std::uint64_t, 1> value{0xFF};
    call(function, {argument}, port, value);
    return static_cast<std::uint8_t>(value[0] & 0xFF);
  }

  // `port`: the port a pio function reaches, 0 for the others.
  void call(const PawnIoFunction& function, std::initializer_list<std::uint64_t> arguments, std::uint16_t port = 0,
            std::span<std::uint64_t> results = {}) {
    const DWORD error = PawnIoExecute(device_, function, std::span(arguments.begin(), arguments.size()), results);
    if (error == ERROR_SUCCESS || !failure_.empty()) return;
    if (port != 0 && error == ERROR_ACCESS_DENIED) {
      failure_ = "Port " + Hex(port) + " liegt au\u00dferhalb der Portfenster, die LpcIO ge\u00f6ffnet hat";
    } else {
      failure_ = function.name;
      if (port != 0) failure_ += '(' + Hex(port) + ')';
      failure_ += ": " + ErrorText(error);
    }
  }

  PawnIoDevice& device_;
  std::string failure_;
};

// "nct6798 (Chip-ID 0xD42B)".
std::string ChipText(const SuperIoFans::Model& model, std::uint16_t id) {
  return std::string(model.name) + " (Chip-ID " + Hex(id, 4) + ")";
}

}  // namespace

SuperIoFans::SuperIoFans(PawnIoDevice& device, IsaBus& bus) : device_(device), bus_(bus) {}

std::optional<HwmonDevice> SuperIoFans::find() {
  found_.reset();
  why_.clear();
  std::string answers;
  for (unsigned slot = 0; slot < kConfigPort.size(); ++slot) {
    std::string answer;
    {
      const auto hold = bus_.hold();
      answer = probe(slot);
    }
    if (found_) {
      const Model& model = *found_->model;
      HwmonDevice device{"Slot " + std::to_string(slot) + ", " + Hex(found_->base), model.name, "", {}, {}};
      answer = check_started();
      for (int index = 1; answer.empty() && index <= model.fans; ++index) {
        const std::optional<std::int64_t> rpm = read_fan(index, answer);
        const std::string label = model.maker == Maker::kNuvoton && index == kNuvotonCpuFan ? "CPUFANIN" : "";
        if (rpm) device.fans.push_back({index, label, *rpm, model.name + std::string(":fan") + std::to_string(index)});
      }
      if (answer.empty()) return device;
      answer = ChipText(model, found_->id) + ": " + answer;
      found_.reset();
    }
    answers += (answers.empty() ? "" : "; ") + SlotText(slot) + ": " + answer;
  }
  why_ = "Kein Nuvoton-Chip ab NCT6779D und kein Fintek-Chip mit L\u00fcfterz\u00e4hlern gefunden. " + answers + ".";
  return std::nullopt;
}

std::optional<std::int64_t> SuperIoFans::rpm(int index) {
  std::string failure;
  return read_fan(index, failure);
}

std::string SuperIoFans::probe(unsigned slot) {
  const std::uint16_t config = kConfigPort[slot];
  Lpc lpc(device_);
  lpc.select_slot(slot);
  if (!lpc.failure().empty()) return lpc.failure();
  lpc.out(config, kEnterKey);
  lpc.out(config, kEnterKey);
  const std::uint16_t id = lpc.config_word(kChipId);

  std::string answer;
  const Model* model = nullptr;
  if (id == 0xFFFF || id == 0x0000) {
    answer = "keine Antwort (Chip-ID " + Hex(id, 4) + ")";
  } else if (model = Lookup(kNuvotonChips, id & kNuvotonIdMask); model == nullptr) {
    const bool fintek = lpc.config_word(kVendorId) == kFintekVendor;
    model = fintek ? Lookup(kFintekChips, id) : nullptr;
    if (model == nullptr) {
      answer = "Chip-ID " + Hex(id, 4) +
               (fintek ? " ist ein Fintek-Chip ohne bekannten Systemmonitor"
                       : " ist weder ein Nuvoton-Chip ab NCT6779D noch ein Fintek-Chip");
    }
  }
  std::uint16_t base = 0;
  if (model != nullptr) {
    // The logical device selected before is selected again: LpcIO's find_bars walks them all.
    const std::uint8_t selected = lpc.config_in(kDeviceSelect);
    lpc.config_out(kDeviceSelect, model->device);
    const bool active = (lpc.config_in(kActivate) & kActive) != 0;
    base = lpc.config_word(kBase) & kBaseMask;
    if (!active) {
      answer = ChipText(*model, id) + ": sein Systemmonitor (logisches Ger\u00e4t " + Hex(model->device, 2) +
               ") ist abgeschaltet";
    } else if (base == 0) {
      answer = ChipText(*model, id) + ": sein Systemmonitor hat keine Portadresse";
    } else {
      // LpcIO opens the windows the logical devices name only in configuration mode.
      lpc.find_bars();
    }
    lpc.config_out(kDeviceSelect, selected);
  }
  // As the drivers do, whatever the chip turned out to be.
  lpc.out(config, kExitKey);
  if (!lpc.failure().empty()) return lpc.failure();
  if (answer.empty()) found_ = Found{model, slot, base, id};
  return answer;
}

std::string SuperIoFans::check_started() {
  if (found_->model->maker != Maker::kFintek) return {};
  const auto hold = bus_.hold();
  Lpc lpc(device_);
  lpc.out(static_cast<std::uint16_t>(found_->base + kAddressPort), kFintekStart);
  const std::uint8_t start = lpc.in(static_cast<std::uint16_t>(found_->base + kDataPort));
  if (!lpc.failure().empty()) return lpc.failure();
  const std::string value = " (Register " + Hex(kFintekStart, 2) + ": " + Hex(start, 2) + ")";
  if ((start & kFintekPoweredDown) != 0) return "sein Systemmonitor ist ausgeschaltet" + value;
  if ((start & kFintekFansStarted) == 0) return "seine L\u00fcfterz\u00e4hler sind nicht gestartet" + value;
  return {};
}

std::optional<std::int64_t> SuperIoFans::read_fan(int index, std::string& failure) {
  if (!found_ || index < 1 || index > found_->model->fans) return std::nullopt;
  const auto at = static_cast<std::uint8_t>(index - 1);
  const auto address = static_cast<std::uint16_t>(found_->base + kAddressPort);
  const auto data = static_cast<std::uint16_t>(found_->base + kDataPort);

  const auto hold = bus_.hold();
  Lpc lpc(device_);
  const auto read = [&](std::uint8_t reg) {
    lpc.out(address, reg);
    return lpc.in(data);
  };
  const auto write = [&](std::uint8_t reg, std::uint8_t value) {
    lpc.out(address, reg);
    lpc.out(data, value);
  };
  std::int64_t rpm = 0;
  if (found_->model->maker == Maker::kNuvoton) {
    // The nct6775 driver remembers the bank it selected and writes the bank register
    // only when it needs another (nct6775_set_bank): a reader that trusts the bank to
    // stay as it left it must find it so. The bank taken is given back.
    const std::uint8_t bank = read(kBankSelect);
    if (bank != kNuvotonFanBank) write(kBankSelect, kNuvotonFanBank);
    const auto high = read(static_cast<std::uint8_t>(kNuvotonFans + 2 * at));
    const auto low = read(static_cast<std::uint8_t>(kNuvotonFans + 2 * at + 1));
    if (bank != kNuvotonFanBank) write(kBankSelect, bank);
    rpm = NuvotonFanRpm(high, low);
  } else {
    const auto high = read(static_cast<std::uint8_t>(kFintekFans + kFintekFanStep * at));
    const auto low = read(static_cast<std::uint8_t>(kFintekFans + kFintekFanStep * at + 1));
    rpm = FintekFanRpm(high, low);
  }
  if (!lpc.failure().empty()) {
    failure = lpc.failure();
    return std::nullopt;
  }
  return rpm;
}

}  // namespace platform::windows
