#include "platform/linux/linux_port_io.hpp"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/diagnostics.hpp"
#include "platform/linux/port_instructions.hpp"

namespace platform::lnx {
namespace {

std::string FirstLine(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

LinuxPortIo::LinuxPortIo(std::string sysfs) : sysfs_(std::move(sysfs)) {}

bool LinuxPortIo::acquire(std::uint16_t first, std::uint16_t count) {
  const std::string call = "PortAccess: ioperm(" + Hex(first) + ", " + std::to_string(count) + ")";
  std::string failure;
  if (!kHavePortInstructions) {
    failure = call + ": this machine has no I/O port instructions (x86 only)";
  } else if (GrantPorts(first, count) != 0) {
    const int error = errno;
    failure = call + ": " + std::strerror(error);
    if (error == EPERM) {
      const std::string mode = LockdownMode(sysfs_);
      failure += mode.empty()
                     ? " (needs CAP_SYS_RAWIO: run as root or after 'setcap cap_sys_rawio+ep' on the program)"
                     : " (the kernel is locked down, mode " + mode +
                           ", as under UEFI Secure Boot: no program may use I/O ports)";
    }
  }
  // The ports were the only reason for any privilege; whatever came of them, keep none.
  DropAllCapabilities();
  if (!failure.empty()) {
    Diagnostic(failure);
    return false;
  }
  acquired_ = true;
  if (It87DriverBound(sysfs_)) {
    Diagnostic("warning: the kernel's it87 driver is bound to the hardware monitor; it and lumatext both use the "
               "chip's address port " + Hex(first) + ", so a reading may now and then come from the wrong register");
  }
  return true;
}

void LinuxPortIo::out(std::uint16_t port, std::uint8_t value) {
  if (acquired_) WritePort(port, value);
}

std::uint8_t LinuxPortIo::in(std::uint16_t port) { return acquired_ ? ReadPort(port) : 0xFF; }

bool DropAllCapabilities() {
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
