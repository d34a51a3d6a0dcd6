#pragma once
// The fans of a board's Super-I/O hardware monitor where it is a Nuvoton NCT6779D or
// later or a Fintek chip, reached through PawnIO's LpcIO module: the chip found in its
// configuration space, the fan counts read through the monitor's address and data ports
// (base + 5, base + 6), as the Linux drivers nct6775 and f71882fg read them.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/hwmon_devices.hpp"
#include "platform/windows/ports/isa_bus.hpp"
#include "platform/windows/ports/pawnio_port_io.hpp"

namespace platform::windows {

class SuperIoFans {
 public:
  // `device`: PawnIO with LpcIO loaded on it. `bus` is held around every configuration
  // sequence and every register read of the monitor.
  SuperIoFans(PawnIoDevice& device, IsaBus& bus);

  // Looks on configuration slot 0 (ports 0x2E/0x2F), then 1 (0x4E/0x4F) for a supported
  // chip whose monitor is active, and reads each of its fan inputs once: the chip as
  // the kernel's driver would offer it, or nullopt (why() says why). Every slot gets the
  // exit key after its look (a Nuvoton or Fintek chip leaves configuration mode on it);
  // a chip keeps its selected logical device and, a Nuvoton chip, the monitor's bank.
  // LpcIO keeps the found chip's port windows open until the next select_slot on the
  // device.
  std::optional<HwmonDevice> find();

  // Fan `index` (fanN) of the chip find() found, read anew: rpm, 0 for no fan or a
  // stopped one; nullopt without a chip, for an input it lacks, or when LpcIO refuses
  // the access (its windows closed by another select_slot: find() opens them again).
  std::optional<std::int64_t> rpm(int index);

  // In German, for the user: why the last find() found no chip, with what each slot
  // answered; empty after success.
  const std::string& why() const { return why_; }

  // A supported chip, as the tables beside the implementation list them.
  struct Model;

 private:
  struct Found {
    const Model* model;
    unsigned slot;
    std::uint16_t base;  // the monitor's 8 ports; address port base + 5, data port base + 6
    std::uint16_t id;
  };

  // Enters slot `slot`'s configuration mode, identifies the chip and, for a supported
  // one with its monitor active, has LpcIO open its windows; leaves configuration mode.
  // Empty and found_ set on success, else what the slot answered. The bus must be held.
  std::string probe(unsigned slot);
  // Whether the monitor found runs its fan counters; empty if so, else why not.
  std::string check_started();
  // Reads fan `index` of the monitor found; `failure` gets the failed call.
  std::optional<std::int64_t> read_fan(int index, std::string& failure);

  PawnIoDevice& device_;
  IsaBus& bus_;
  std::optional<Found> found_;
  std::string why_;
};

}  // namespace platform::windows
