#pragma once
// Where the two readings come from on a PC without the ITE 8705 at 0x290: the hardware
// monitors the kernel offers (platform/hwmon_devices.hpp), and the rule that picks the
// CPU's temperature and the CPU fan among them, or the owner's own choice. Pure but for
// ChooseReadingSource: the platform layer reads the devices and uses the choice only where
// the ports turn out not to be the ITE monitor's at 0x290.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hwmon_devices.hpp"
#include "platform/iow.hpp"

namespace monitor {

using platform::HwmonDevice;
using platform::HwmonInput;

enum class SensorKind { kTemperature, kFan };

// The input a reading comes from, and why it was taken.
struct ChosenSensor {
  std::string folder;  // the device's folder
  std::string driver;  // the device's name
  SensorKind kind = SensorKind::kTemperature;
  int index = 0;       // N of tempN_input or fanN_input
  std::string label;   // the input's label; empty without one
  std::string path;    // the input's file
  // Whole degrees Celsius (half away from zero), or rpm; a fan's 0 is a reading too
  // (the sign shows "---" for it).
  std::int32_t reading = 0;
  std::string reason;  // in German, for the set-up report: "CPU-eigener Sensor (coretemp, Package id 0)"

  // "temp1" or "fan2".
  std::string input() const;
};

// What the rule found: each reading's input, or nothing where no input fits.
struct SensorChoice {
  std::optional<ChosenSensor> temperature;
  std::optional<ChosenSensor> fan;
};

// Picks the temperature and the fan among `devices` (in the order the kernel numbers
// them). Temperature: the CPU's own sensor (coretemp, k10temp, zenpower, k8temp,
// via_cputemp), else an input a board's monitor labels as the CPU's. Fan: an input
// labelled as the CPU's or the processor's, else the CPU fan header of a known Super-I/O
// chip, else a laptop's only fan. Precondition: the ITE monitor at 0x290 is not used.
SensorChoice ChooseSensors(const std::vector<HwmonDevice>& devices);

// The owner's choice resolved, or why it cannot be.
struct OwnerChoice {
  std::optional<ChosenSensor> sensor;
  std::string error;  // in German, naming the choice; empty when sensor is set
};

// Resolves the owner's "DRIVER:LABEL", "DRIVER:tempN" or "DRIVER:fanN" (DRIVER a device's
// name, LABEL an input's label, compared without regard to case) for the reading of
// `kind`, in the first device of that name that has the input. A malformed choice, an
// unknown driver or input, or an input of the other kind gives an error naming it.
OwnerChoice ResolveOwnerChoice(std::string_view choice, SensorKind kind, const std::vector<HwmonDevice>& devices);

// What the rule looks for, in German, for a PC where it finds no temperature.
extern const std::string_view kTemperatureSought;

// The owner's choices among the kernel's inputs ("DRIVER:LABEL", "DRIVER:tempN",
// "DRIVER:fanN"); empty where the rule chooses.
struct OwnerChoices {
  std::string temperature;
  std::string fan;
};

// The rule's choice among `devices` with the owner's choices in its place where given;
// `error` says in German why an owner's choice names no input there is.
SensorChoice ChooseWithOwner(const std::vector<HwmonDevice>& devices, const OwnerChoices& owner, std::string& error);

// Where the readings come from where the ports turn out not to be the ITE monitor's: the
// kernel's monitors, the owner's choice for each reading or else the rule's, handed to
// ports.read_kernel_monitors at the start. Where they are the ITE monitor's, its ports
// (or the it87 driver's files for the chip at 0x290) give the readings and these are not
// used. Returns, in German, why an owner's choice names no input the kernel offers
// (checked on every PC); empty otherwise.
std::string ChooseReadingSource(iow::PortIo& ports, const OwnerChoices& owner);

}  // namespace monitor
