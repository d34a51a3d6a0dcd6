#pragma once
// The Super-I/O chips of a simulated board at the two configuration slots, as the port
// natives of PawnIO's modules reach them.
//
// An ITE chip has the IT8705F's configuration space: it enters configuration mode on the
// key 0x87 0x01 0x55 0x55 written to 0x2E (0x87 0x01 0x55 0xAA to 0x4E) and leaves it
// when bit 1 is written to configuration register 0x02; registers 0x20/0x21 hold the
// chip ID, 0x07 selects a logical device, whose registers 0x30 and up follow, with the
// base registers 0x60-0x63 at the IT8705F's defaults (floppy 0x3F0, serial ports 0x3F8
// and 0x2F8, parallel port 0x378/0x778, environment controller 0x290, keyboard
// 0x60/0x64, game port 0x201, consumer IR 0x310, MIDI 0x300). A logical device the chip
// lacks reads 0 in every register. The environment controller's address and data ports
// (base + 5, base + 6) lead to the simulator's environment controller, which becomes
// that chip's (its ID and revision, and with them the later chips' fan registers).
//
// A Winbond/Nuvoton chip enters configuration mode on 0x87 0x87 and leaves it on 0xAA,
// both written to the index port, and ignores ITE's key; a Fintek chip does the same and
// holds its vendor ID 0x1934 in registers 0x23/0x24. Without a hardware monitor only
// their chip IDs are modelled. With one, the monitor's logical device (Nuvoton 0x0B,
// Fintek 4) holds the activation bit (register 0x30, bit 0) and the base (0x60/0x61),
// and while it is active the chip decodes the monitor's address and data ports at
// (base & ~7) + 5 and + 6, in and outside configuration mode. The Nuvoton monitor's
// registers are banked: register 0x4E of every bank selects the bank (bits 3-0); the fan
// counts lie in bank 4 from 0xB0, two registers a fan (count bits 12-5, then 4-0). The
// Fintek monitor has one bank: register 0x01 starts it (bit 0 voltages and temperatures,
// bit 1 fans), the fan counts lie from 0xA0, 16 registers a fan (high byte, low byte).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_ite8705.hpp"

namespace platform::windows {

// The I/O ports as the module's natives reach them.
class PortBus {
 public:
  virtual ~PortBus() = default;
  virtual std::uint8_t in(std::uint16_t port) = 0;
  virtual void out(std::uint16_t port, std::uint8_t value) = 0;
};

class SimulatedSuperIo final : public PortBus {
 public:
  struct Chip {
    std::uint16_t id = 0x8705;
    // Logical device 4's base address (registers 0x60/0x61); ITE only.
    std::uint16_t environment_controller = 0x290;
    bool nuvoton = false;
    // In configuration mode from the start, as firmware or another program may leave a chip.
    bool configuring = false;
    // Configuration register 0x22 (ITE: revision in bits 3-0).
    std::uint8_t revision = 0;
    // A Fintek chip: keyed as a Nuvoton one, its vendor ID in registers 0x23/0x24.
    bool fintek = false;
    // Nuvoton and Fintek: the hardware monitor's base as its logical device gives it
    // (registers 0x60/0x61); 0 for a chip modelled by its ID only.
    std::uint16_t monitor = 0;
    // Bit 0 of the monitor's logical device register 0x30.
    bool monitor_active = true;
    // The monitor's fan counts, fan1 first: 13 bits on a Nuvoton chip, 16 on a Fintek one.
    std::array<std::uint16_t, 7> fans{};
  };

  // A Nuvoton NCT6798D (chip ID 0xD42B) with its hardware monitor at 0x290.
  static Chip Nct6798();
  // A Fintek F71882FG (chip ID 0x0541) with its hardware monitor at 0x290, started.
  static Chip F71882fg();

  // What a chip holds: whether it is in configuration mode, its global registers and
  // every logical device's registers. The index register is left out: every access
  // through the configuration ports moves it.
  struct ChipState {
    bool configuring = false;
    std::array<std::uint8_t, 0x30> global{};
    std::vector<std::array<std::uint8_t, 256>> devices;
    // The hardware monitor's registers, bank by bank (none without a monitor). Its
    // address register is left out as the index register is.
    std::vector<std::array<std::uint8_t, 256>> monitor;
    bool operator==(const ChipState&) const = default;
  };

  // `slot0` at 0x2E/0x2F, `slot1` at 0x4E/0x4F. The first ITE chip's environment
  // controller is `monitor`. Every port access is appended to `log` as "0x2E<-0x87"
  // (written) or "0x2F->0x87" (read).
  SimulatedSuperIo(std::optional<Chip> slot0, std::optional<Chip> slot1, sim::SimIte8705& monitor,
                   std::vector<std::string>& log);

  std::uint8_t in(std::uint16_t port) override;
  void out(std::uint16_t port, std::uint8_t value) override;

  // The chip on `slot`; that slot must hold one.
  const ChipState& state(unsigned slot) const { return chips_.at(slot)->state; }
  // Sets fan `fan` (1 for fan1) of the monitor of the chip on `slot` to count `count`.
  void set_fan_count(unsigned slot, int fan, std::uint16_t count);
  // Sets the bank the Nuvoton monitor on `slot` has selected.
  void set_bank(unsigned slot, std::uint8_t bank);

 private:
  struct Present {
    Chip chip;
    ChipState state;
    std::uint8_t index = 0;
    std::size_t key_progress = 0;
    std::uint8_t monitor_address = 0;
  };

  static Present Make(const Chip& chip);
  Present* at_config_port(std::uint16_t port, bool& data);
  std::uint8_t read_register(Present& chip) const;
  void write_register(Present& chip, std::uint8_t value);
  void key(Present& chip, unsigned slot, std::uint8_t value);
  // The monitor port a port of the first ITE chip's environment controller leads to, or 0.
  std::uint16_t monitor_port(std::uint16_t port) const;
  // The Nuvoton or Fintek chip whose active monitor decodes `port`; `data` tells whether
  // it is the data port. nullptr if none does.
  Present* own_monitor(std::uint16_t port, bool& data);
  // The monitor register the address register selects, in the selected bank.
  static std::uint8_t& monitor_register(Present& chip);

  std::array<std::optional<Present>, 2> chips_;
  sim::SimIte8705& monitor_;
  std::vector<std::string>& log_;
};

}  // namespace platform::windows
