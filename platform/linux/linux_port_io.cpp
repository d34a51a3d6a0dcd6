#include "platform/linux/linux_port_io.hpp"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/diagnostics.hpp"
#include "platform/hex_text.hpp"
#include "platform/linux/port_instructions.hpp"

namespace platform::lnx {
namespace {

std::string FirstLine(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

}  // namespace

LinuxPortIo::LinuxPortIo(std::string sysfs) : sysfs_(std::move(sysfs)) {}

void LinuxPortIo::grant(std::uint16_t first, std::uint16_t count) {
  granted_ = Range{first, count};
  const std::string call = "PortAccess: ioperm(" + Hex(first) + ", " + std::to_string(count) + ")";
  failure_.clear();
  error_ = 0;
  if (!kHavePortInstructions) {
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
  acquired_ = true;
  if (It87DriverBound(sysfs_)) {
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

bool It87DriverBound(const std::string& sysfs) {
  std::error_code error;
  const std::filesystem::path hwmon = std::filesystem::path(sysfs) / "class/hwmon";
  for (const auto& entry : std::filesystem::directory_iterator(hwmon, error)) {
    if (FirstLine(entry.path() / "name") == "it87") return true;
  }
  return false;
}

}  // namespace platform::lnx
