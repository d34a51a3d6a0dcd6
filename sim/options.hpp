#pragma once
// The command line of lumatext-sim.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/scripted_window.hpp"

namespace sim {

struct Options {
  bool help = false;
  bool headless = false;
  // As the Windows service (implies headless), or registering or removing that service.
  enum class Service { kNone, kRun, kInstall, kRemove } service = Service::kNone;
  bool unattended = false;                // as lumatext --headless; implies headless
  std::vector<ScheduledAction> actions;
  std::vector<std::uint8_t> temperatures{45};
  std::vector<std::uint16_t> fan_counts{60};
  std::uint16_t chip_id = 0x8705;         // the simulated chip's ID, as its configuration space gives it
  std::uint8_t chip_revision = 0;
  std::uint8_t fan_divisors = 0;          // register 0x0B of a later chip
  std::uint8_t fan_16bit = 0;             // register 0x0C of a later chip
  double speed = 1;                       // 0: virtual time
  std::optional<double> time_of_day;      // seconds since midnight; none: the real one
  std::uint32_t iowarrior = 0x1501;       // the model's USB product ID: an IO-Warrior 24
  bool no_device = false;
  bool reject_writes = false;
  std::optional<double> unplug_at;        // seconds of simulated time
  std::optional<double> unplug_every;     // seconds of simulated time
  std::optional<double> restart_after;    // seconds of simulated time; only unattended
  bool no_port_access = false;
  std::optional<std::string> hwmon;       // a folder laid out as /sys/class/hwmon: no ITE 8705 at 0x290
  std::string temperature_sensor;         // the owner's choices among its inputs; empty: the rule's
  std::string fan_sensor;
  double max_time = 86400;                // seconds of simulated time
  std::optional<std::string> log_path;    // "-": standard output
  std::optional<std::string> type_text;   // --type: typed once, then the program ends
  bool test_keys = false;                 // --test-keys: each key alone, after each Enter
};

// A command line that cannot be run; what() is one line naming the argument.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name; throws UsageError.
Options ParseOptions(std::span<const std::string_view> args);

// The usage text, ending in a newline.
std::string Usage();

}  // namespace sim
