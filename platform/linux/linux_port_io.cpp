#include "platform/linux/linux_port_io.hpp"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/diagnostics.hpp"
#include "platform/hex_text.hpp"
#include "platform/linux/port_instructions.hpp"
#include "platform/linux/sysfs_files.hpp"

namespace platform::lnx {
namespace {

// The whole number a sysfs attribute file holds; nullopt when it cannot be read.
std::optional<std::int64_t> Attribute(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::int64_t value = 0;
  if (!(file >> value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::int64_t> It87Files::temperature_millidegrees() {
  return Attribute(std::filesystem::path(directory_) / "temp1_input");
}

std::optional<std::int64_t> It87Files::fan_rpm() { return Attribute(std::filesystem::path(directory_) / "fan1_input"); }

LinuxPortIo::LinuxPortIo(std::string sysfs) : sysfs_(std::move(sysfs)) {}

void LinuxPortIo::grant(std::uint16_t first, std::uint16_t count) {
  granted_ = Range{first, count};
  const std::string call = "PortAccess: ioperm(" + Hex(first) + ", " + std::to_string(count) + ")";
  failure_.clear();
  error_ = 0;
  driver_.reset();
  if (const std::string driver = It87Directory(sysfs_, static_cast<std::uint16_t>(first & ~7u)); !driver.empty()) {
    // The driver reads the chip under its own lock: no port is touched, so no privilege is needed.
    driver_.emplace(driver);
  } else if (!kHavePortInstructions) {
    failure_ = call + ": dieser Rechner hat keine I/O-Port-Befehle (nur x86)";
  } else if (GrantPorts(first, count) != 0) {
    error_ = errno;
    failure_ = call + ": " + std::strerror(error_) + ExplainPortRefusal(error_, LockdownMode(sysfs_));
  }
  // The ports were the only reason for any privilege; whatever came of them, keep none.
  DropAllCapabilities();
}

bool LinuxPortIo::acquire(std::uint16_t first, std::uint16_t count) {
  if (!granted_ || granted_->first != first || granted_->count != count) grant(first, count);
  if (!failure_.empty()) {
    Diagnostic(failure_);
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
  std::error_code error;
  const std::filesystem::path hwmon = std::filesystem::path(sysfs) / "class/hwmon";
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(hwmon, error)) {
    if (FirstLine(entry.path() / "name") == "it87") found.push_back(entry.path());
  }
  // hwmon0 before hwmon1, whatever order the directory lists them in.
  std::sort(found.begin(), found.end());
  for (const auto& directory : found) {
    // The driver names its platform device after the base address: it87.656 for 0x290.
    std::error_code unknown;
    const auto device = std::filesystem::canonical(directory / "device", unknown);
    if (unknown || device.filename() == "it87." + std::to_string(base)) return directory.string();
  }
  return {};
}

bool It87DriverBound(const std::string& sysfs, std::uint16_t base) { return !It87Directory(sysfs, base).empty(); }

}  // namespace platform::lnx
