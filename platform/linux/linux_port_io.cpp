#include "platform/linux/linux_port_io.hpp"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/diagnostics.hpp"
#include "platform/hex_text.hpp"
#include "platform/hwmon_files.hpp"
#include "platform/linux/port_instructions.hpp"
#include "platform/sysfs_files.hpp"

namespace platform::lnx {
namespace {

// The whole number a sysfs attribute file holds; nullopt when it cannot be read.
std::optional<std::int64_t> Attribute(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::int64_t value = 0;
  if (!(file >> value)) return std::nullopt;
  return value;
}

// The environment controller's configuration register: bit 7 is set while it initialises.
constexpr std::uint8_t kConfigRegister = 0x00;
constexpr std::uint8_t kConfigInitialising = 0x80;
// ITE's vendor ID register, which reads 0x90 on every ITE monitor.
constexpr std::uint8_t kVendorIdRegister = 0x58;
constexpr std::uint8_t kIteVendorId = 0x90;

// Whether an ITE monitor answers at the address port `address` (data port after it), as
// the kernel's it87 driver tells one at its probe (drivers/hwmon/it87.c, it87_probe:
// configuration register bit 7 clear and register 0x58 reading 0x90). Reads the two
// registers once; why not in German, empty when it answers.
std::string IdentifyIteMonitor(std::uint16_t address) {
  const auto read = [address](std::uint8_t reg) {
    WritePort(address, reg);
    return ReadPort(static_cast<std::uint16_t>(address + 1));
  };
  const std::uint8_t config = read(kConfigRegister);
  const std::uint8_t vendor = read(kVendorIdRegister);
  if ((config & kConfigInitialising) == 0 && vendor == kIteVendorId) return {};
  return "an " + Hex(address, 3) + " antwortet kein ITE-Systemmonitor (Register 0x58 liest " + Hex(vendor, 2) +
         ", nicht 0x90; Register 0x00 " + Hex(config, 2) + "); lumatext liest diese Ports nicht";
}

// The hwmon devices under `sysfs`/class/hwmon in the kernel's order (hwmon0 before hwmon1,
// whatever order the directory lists them in), each with the name of the platform device
// its device link leads to; empty where that cannot be told.
std::vector<std::pair<std::filesystem::path, std::string>> HwmonPlatformDevices(const std::string& sysfs) {
  std::error_code error;
  std::vector<std::pair<std::filesystem::path, std::string>> found;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(sysfs) / "class/hwmon", error)) {
    std::error_code unknown;
    const auto device = std::filesystem::canonical(entry.path() / "device", unknown);
    found.emplace_back(entry.path(), unknown ? std::string() : device.filename().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

std::optional<std::int64_t> It87Files::temperature_millidegrees() {
  return Attribute(std::filesystem::path(directory_) / "temp1_input");
}

std::optional<std::int64_t> It87Files::fan_rpm() { return Attribute(std::filesystem::path(directory_) / "fan1_input"); }

LinuxPortIo::LinuxPortIo(std::string sysfs, std::string proc) : sysfs_(std::move(sysfs)), proc_(std::move(proc)) {}

void LinuxPortIo::grant(std::uint16_t first, std::uint16_t count) {
  granted_ = Range{first, count};
  const std::string call = "PortAccess: ioperm(" + Hex(first) + ", " + std::to_string(count) + ")";
  failure_.clear();
  error_ = 0;
  driver_.reset();
  foreign_.clear();
  identified_ = false;
  const auto base = static_cast<std::uint16_t>(first & ~7u);
  if (const std::string driver = It87Directory(sysfs_, base); !driver.empty()) {
    // The driver reads the chip under its own lock: no port is touched, so no privilege is needed.
    driver_.emplace(driver);
  } else if (foreign_ = ForeignDriver(sysfs_, proc_, first, count); !foreign_.empty()) {
    // Its driver selects the chip's registers through the same address port, under a lock
    // no program takes part in: a port access here could send it into the wrong register.
  } else if (!kHavePortInstructions) {
    failure_ = call + ": dieser Rechner hat keine I/O-Port-Befehle (nur x86)";
  } else if (GrantPorts(first, count) != 0) {
    error_ = errno;
    failure_ = call + ": " + std::strerror(error_) + ExplainPortRefusal(error_, LockdownMode(sysfs_));
  }
  // The ports were the only reason for any privilege; whatever came of them, keep none.
  DropAllCapabilities();
}

void LinuxPortIo::identify() {
  if (identified_ || !granted_ || !failure_.empty() || !foreign_.empty() || driver_) return;
  identified_ = true;
  if (foreign_ = IdentifyIteMonitor(granted_->first); !foreign_.empty()) {
    // Whatever answers there is no ITE monitor: its bytes would be made-up readings.
    ReleasePorts(granted_->first, granted_->count);
  }
}

bool LinuxPortIo::acquire(std::uint16_t first, std::uint16_t count) {
  if (!granted_ || granted_->first != first || granted_->count != count) grant(first, count);
  if (!failure_.empty()) {
    Diagnostic(failure_);
    return false;
  }
  identify();
  if (!foreign_.empty()) {
    if (kernel_) {
      Diagnostic("PortAccess: " + foreign_ + "; lumatext liest die Messwerte der Treiber des Kernels: " +
                 kernel_->description());
      return true;
    }
    Diagnostic("PortAccess: " + foreign_ + "; kein Temperatursensor der CPU gefunden" +
               (kernel_missing_.empty() ? std::string() : " (" + kernel_missing_ + ")") +
               "; lumatext --sensors zeigt, was der Kernel anbietet");
    return false;
  }
  if (driver_) {
    Diagnostic("PortAccess: der Treiber it87 des Kernels bedient den Systemmonitor; lumatext liest dessen Dateien " +
               driver_->directory() + "/temp1_input und fan1_input und benutzt die Ports nicht");
    return true;
  }
  acquired_ = true;
  Diagnostic("PortAccess: Hinweis: der Chip ist nicht bestimmt (lumatext liest unter Linux seine Konfigurationsports "
             "nicht); die L\u00fcfterdrehzahl wird wie beim IT8705F gelesen (Register 0x0D mal 8). Bei einem "
             "sp\u00e4teren ITE-Chip mit 16-Bit-Z\u00e4hler ist sie falsch: dort den Treiber it87 laden (sudo modprobe "
             "it87), lumatext liest dann dessen Dateien");
  if (It87DriverBound(sysfs_, static_cast<std::uint16_t>(first & ~7u))) {
    Diagnostic("Warnung: der Treiber it87 des Kernels bedient den Systemmonitor; er und lumatext benutzen beide den "
               "Adressport " + Hex(first) + " des Chips, ein Messwert kann daher ab und zu aus dem falschen Register "
               "stammen");
  }
  return true;
}

iow::MonitorDriver* LinuxPortIo::driver() {
  if (iow::MonitorDriver* kernel = kernel_readings()) return kernel;
  return driver_ ? &*driver_ : nullptr;
}

std::vector<platform::HwmonDevice> LinuxPortIo::kernel_monitors() const {
  return ReadHwmonDevices(std::filesystem::path(sysfs_) / "class/hwmon");
}

void LinuxPortIo::read_kernel_monitors(const std::optional<platform::HwmonSource>& temperature,
                                       const std::optional<platform::HwmonSource>& fan, const std::string& why) {
  kernel_.reset();
  kernel_missing_ = why;
  if (temperature) kernel_ = std::make_unique<KernelMonitorFiles>(*temperature, fan);
}

void LinuxPortIo::out(std::uint16_t port, std::uint8_t value) {
  if (acquired_) WritePort(port, value);
}

std::uint8_t LinuxPortIo::in(std::uint16_t port) { return acquired_ ? ReadPort(port) : 0xFF; }

std::string ExplainPortRefusal(int error, const std::string& lockdown_mode) {
  if (error == EPERM && !lockdown_mode.empty()) {
    return " (der Kernel ist gesperrt, Lockdown-Modus " + lockdown_mode +
           ", wie unter UEFI Secure Boot: kein Programm darf I/O-Ports benutzen)";
  }
  if (error == EPERM) {
    return " (braucht CAP_SYS_RAWIO: als root starten oder einmal 'setcap cap_sys_rawio+ep' auf das Programm)";
  }
  if (error == ENOSYS) return " (der Kernel ist ohne ioperm gebaut, CONFIG_X86_IOPL_IOPERM)";
  return {};
}

bool DropAllCapabilities() {
  // The bounding set first, where the process may change it (as root, not with a file
  // capability): then not even an executed program could regain one.
  for (unsigned long cap = 0; cap <= 63; ++cap) {
    if (::prctl(PR_CAPBSET_DROP, cap, 0UL, 0UL, 0UL) != 0 && errno != EINVAL) break;
  }
  __user_cap_header_struct header{};
  header.version = _LINUX_CAPABILITY_VERSION_3;
  header.pid = 0;
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  // The raw system call: libcap would be a dependency for one call.
  if (::syscall(SYS_capset, &header, data) != 0) {
    Diagnostic(std::string("capset: ") + std::strerror(errno));
    return false;
  }
  return true;
}

std::string LockdownMode(const std::string& sysfs) {
  // The file reads e.g. "none [integrity] confidentiality": the bracketed mode is active.
  const std::string line = FirstLine(std::filesystem::path(sysfs) / "kernel/security/lockdown");
  const auto open = line.find('[');
  const auto close = line.find(']', open);
  if (open == std::string::npos || close == std::string::npos) return {};
  const std::string mode = line.substr(open + 1, close - open - 1);
  return mode == "none" ? std::string{} : mode;
}

std::string It87Directory(const std::string& sysfs, std::uint16_t base) {
  for (const auto& [directory, device] : HwmonPlatformDevices(sysfs)) {
    // The driver names its platform device after the base address: it87.656 for 0x290.
    if (device == "it87." + std::to_string(base)) return directory.string();
    if (device.empty() && FirstLine(directory / "name") == "it87") return directory.string();
  }
  return {};
}

std::string ForeignDriver(const std::string& sysfs, const std::string& proc, std::uint16_t first,
                          std::uint16_t count) {
  const auto base = static_cast<std::uint16_t>(first & ~7u);
  // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + std::string.
  std::string suffix(1, '.');
  suffix += std::to_string(base);
  // The Super-I/O drivers name their platform devices DRIVER.BASE (nct6775.656); the it87
  // driver's is its own case (It87Directory).
  for (const auto& [directory, device] : HwmonPlatformDevices(sysfs)) {
    if (!device.ends_with(suffix) || device.starts_with("it87.")) continue;
    return "an " + Hex(base, 3) + " bedient der Treiber " + device.substr(0, device.size() - suffix.size()) +
           " des Kernels einen Chip (" + directory.filename().string() + ", " + FirstLine(directory / "name") +
           "); lumatext benutzt dessen Ports nicht";
  }
  // /proc/ioports: "0000-0cf7 : PCI Bus 0000:00", nested "  0295-0296 : nct6775". A bus's
  // window and the firmware's reservations ("pnp 00:06", "reserved") hold no driver; an
  // unprivileged reader sees every range as 0000-0000.
  std::ifstream ioports(std::filesystem::path(proc) / "ioports");
  std::string line;
  while (std::getline(ioports, line)) {
    unsigned from = 0, to = 0;
    char name[128] = {};
    if (std::sscanf(line.c_str(), " %x-%x : %127[^\n]", &from, &to, name) != 3 || to == 0) continue;
    const std::string owner(name);
    if (to < first || from >= first + count) continue;
    if (owner.starts_with("PCI Bus") || owner.starts_with("pnp ") || owner == "reserved") continue;
    return "die Ports " + Hex(first, 3) + "/" + Hex(static_cast<std::uint16_t>(first + count - 1), 3) +
           " geh\u00f6ren laut " + (std::filesystem::path(proc) / "ioports").string() + " dem Treiber " + owner +
           " des Kernels; lumatext benutzt sie nicht";
  }
  return {};
}

bool It87DriverBound(const std::string& sysfs, std::uint16_t base) { return !It87Directory(sysfs, base).empty(); }

}  // namespace platform::lnx
