#pragma once
// What `lumatext --check` tells a person about this machine's set-up: the IO-Warrior
// nodes, the udev rule, the access to the monitor's ports and the kernel's it87 driver.
// The platform gathers the facts; the report is composed from them elsewhere.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop.hpp"
#include "platform/iow.hpp"

namespace platform {

// How opening an IO-Warrior node went.
enum class NodeOpen {
  kOpened,  // this user may open it, and nobody else holds it
  kDenied,  // the node's permissions keep this user out
  kBusy,    // another program holds it open (the driver allows one at a time)
  kFailed,  // any other error
};

struct IowarriorNode {
  std::string path;
  NodeOpen open = NodeOpen::kFailed;
  std::string error;              // the system's text for the error when not opened
  bool described = false;         // product, serial and interface below are known
  std::uint32_t product = 0;      // USB product ID (vendor 0x07C0)
  std::string serial;
  std::uint32_t interface = 0;    // 0: the I/O pins, 1: the special modes
  std::uint32_t report_size = 0;  // bytes of a pin report without its ID; 0 when unknown
  std::string owner;              // user, group and mode of the node, e.g. "root:plugdev 0660"; empty when unknown
};

// Why the ports were refused.
enum class PortRefusal {
  kNone,                // granted
  kNoCapability,        // the process lacks CAP_SYS_RAWIO
  kLockdown,            // kernel lockdown: no program may use I/O ports
  kNoIoperm,            // the kernel is built without ioperm
  kNoPortInstructions,  // a processor without I/O port instructions
  kOther,
};

struct SetupFacts {
  std::string device_directory;  // where the IO-Warrior nodes were looked for
  std::vector<IowarriorNode> nodes;  // in the order lumatext tries them
  std::string udev_rule;         // path of the installed rule for the nodes; empty when none
  std::string udev_group;        // the group that rule gives the nodes; empty when it names none
  bool udev_running = false;     // udev runs on this machine, so its rules apply
  std::string user;              // who runs the check
  bool root = false;
  bool in_group = false;         // this process belongs to udev_group
  bool in_group_after_login = false;  // the user is listed in udev_group, but this session does not have it yet
  PortRefusal port_refusal = PortRefusal::kNone;
  std::string port_error;        // the system's text for the refusal and its reason; empty when granted
  std::string lockdown_mode;     // "integrity" or "confidentiality"; empty without lockdown
  std::string program;           // the running program's file
  bool program_has_capability = false;  // its file carries cap_sys_rawio in permitted and effective
  bool it87_bound = false;       // the kernel's it87 driver serves the chip
};

// Looks at the machine for the set-up report.
class SetupProbe {
 public:
  virtual ~SetupProbe() = default;
  // The facts as they are now. Opens each IO-Warrior node once, to learn whether it can
  // be opened and what it is, and closes it again; never writes to one.
  virtual SetupFacts collect() = 0;
  // The monitor's ports: reads and writes reach them only when the access the probe was
  // opened with was granted; otherwise reads give 0xFF.
  virtual iow::PortIo& ports() = 0;
};

// This platform's probe, for a process that got `access`; null where the set-up report
// is not available.
std::unique_ptr<SetupProbe> OpenSetupProbe(const PortAccess& access);

}  // namespace platform
