#pragma once
// The IO-Warrior models by USB product ID (vendor 0x07C0) and the pin report each takes.
// The keypad's report is the report ID and two port bytes (port 0, port 1, the keys);
// a model with more ports takes a longer pin report, which the IO-Warrior library
// fills with 0xFF: every further line high, nothing pressed, inputs left as inputs.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Vendor ID of every IO-Warrior (Code Mercenaries).
inline constexpr std::uint16_t kIoWarriorVendorId = 0x07C0;

struct IowarriorModel {
  std::uint32_t product;     // USB product ID
  std::string_view name;     // "IO-Warrior 24"
  std::string_view option;   // how lumatext-sim's --iowarrior names it: "24"
  std::uint32_t port_bytes;  // bytes of the pin report without its ID
  bool full_speed;           // full speed, pins written through an interrupt-OUT endpoint;
                             // else low speed, pins written by SET_REPORT on endpoint 0
};

// Every model, the IO-Warrior 24 first.
std::span<const IowarriorModel> IowarriorModels();
// The model with `product`; null for a product ID of none.
const IowarriorModel* FindIowarriorModel(std::uint32_t product);
// The model lumatext-sim's --iowarrior names ("24", "28", "28L", "40", "56", "100"); null for none.
const IowarriorModel* FindIowarriorModelByOption(std::string_view option);
// "IO-Warrior 56 (0x1503)", or "unbekanntes Modell 0x15FF".
std::string IowarriorModelName(std::uint32_t product);

// The report the keypad sends: report ID, port 0, port 1.
inline constexpr std::uint32_t kKeypadReportLength = 3;

// Whether an IO-Warrior's pins interface can carry the keypad, and with how many port bytes.
struct PinReportFit {
  bool usable = false;
  std::uint32_t port_bytes = 0;  // what a write sends after the report ID
  std::string note;              // why not usable, or what to know when usable; empty when nothing
};

// Checks the pin report that the platform reports for a device (`reported_port_bytes`
// without the report ID; 0 when it cannot tell) against the model's known length. A known
// model is usable with its own length; one reporting another length is refused (no
// report of that length sets its pins). An unknown model is usable with at least two
// port bytes, with a note; with fewer it has no port 1 and is refused.
PinReportFit FitPinReport(std::uint32_t product, std::uint32_t reported_port_bytes);

// The pin report of `port_bytes` port bytes that carries `report` (report ID 0 and at least
// port 0 and port 1): its bytes, then 0xFF for every further port. Empty when `report`
// is shorter than that, longer than the pin report, or not report ID 0.
std::vector<std::uint8_t> WidenPinReport(std::span<const std::uint8_t> report, std::uint32_t port_bytes);

}  // namespace platform
