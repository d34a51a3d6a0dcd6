#pragma once
// What `lumatext --check` tells a person about this machine's set-up: the IO-Warrior
// nodes, and on Linux the udev rule, the access to the monitor's ports and the kernel's
// it87 driver, on Windows the rights, PawnIO, its module, the Super-I/O chip and the
// ISA bus. The platform gathers the facts; the report is composed from them elsewhere.

#include <cstdint>
#include <memory>
#include <optional>
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

// How opening the PawnIO device went.
enum class DriverOpen {
  kOpened,
  kAbsent,  // no such device: PawnIO is not installed or its driver is not running
  kDenied,  // only administrators may open it
  kFailed,  // any other error
};

// What the configuration ports of one slot showed.
struct ChipSlot {
  unsigned slot = 0;
  std::uint16_t config_port = 0;  // the index port; the data port follows it
  std::uint16_t chip_id = 0;      // 0 when the slot could not be read
  std::string outcome;            // empty when lumatext took this slot's chip, else why not
};

// One port I/O DLL the ports were sought through, and how that went.
struct PortDllTried {
  std::string file;
  std::string loaded_from;  // the DLL's full path when it was taken; empty when not
  std::string failure;      // why it was not taken; empty when it was
};

// The monitor's ports on Windows: through PawnIO's module LpcIO, or without PawnIO
// through a port I/O DLL (inpoutx64). A 32-bit program has only the DLLs (IO.DLL,
// inpout32.dll): PawnIO has no 32-bit driver.
struct WindowsPortFacts {
  bool dlls_only = false;              // a 32-bit program: PawnIO, its module and the slots stay unset
  bool elevated = false;               // this process runs with an administrator's rights
  std::string pawnio_version;          // the version its uninstall entry names; empty when it has none
  std::string pawnio_carried;          // the version lumatext's setup brings along
  DriverOpen pawnio_open = DriverOpen::kAbsent;
  std::string pawnio_error;            // the system's text when not opened
  std::string module;                  // where LpcIO.bin is looked for
  bool module_found = false;
  bool module_offered = false;         // PawnIO opened, so the module was offered to it
  std::string module_error;            // why PawnIO refused it; empty when it took it
  std::vector<ChipSlot> slots;         // in the order tried
  std::string port_failure;            // why the ports cannot be had through PawnIO; empty when they can
  bool isa_bus_held = false;           // the shared bus mutex could be had now
  std::string isa_bus_name;
  std::string isa_bus_problem;         // what went wrong with it; empty when nothing
  bool dll_tried = false;              // PawnIO is absent, so the port I/O DLL would be used
  std::string dll_loaded;              // the DLL's file; empty when none loaded
  std::string dll_error;
  std::vector<PortDllTried> dlls;      // a 32-bit program's DLLs in the order tried
  bool ports_ready = false;            // reads and writes reach the monitor's ports
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
  std::string it87_files;        // its hwmon directory, whose files give the readings; empty when the ports do
  std::string ports_foreign;     // why the ports are left alone (another driver serves a chip there); empty when not
  std::string kernel_sources;    // then the kernel's monitors the readings come from; empty where none fits
  std::string kernel_missing;    // where none fits, what was looked for; empty where the rule's own text says it
  // Set on Windows, where it stands for udev, ioperm and it87 above.
  std::optional<WindowsPortFacts> windows;
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
