#include "platform/linux/setup_probe_linux.hpp"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <utility>

#include "platform/linux/linux_iowkit.hpp"
#include "platform/linux/linux_port_io.hpp"
#include "platform/linux/port_instructions.hpp"
#include "platform/sysfs_files.hpp"

namespace platform::lnx {
namespace {

namespace fs = std::filesystem;

std::string RunningProgram() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string{} : program.string();
}

// "user:group 0660" of a node; empty when it cannot be looked at.
std::string Owner(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  const passwd* user = ::getpwuid(info.st_uid);
  const group* grp = ::getgrgid(info.st_gid);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", info.st_mode & 07777);
  return (user ? std::string(user->pw_name) : std::to_string(info.st_uid)) + ":" +
         (grp ? std::string(grp->gr_name) : std::to_string(info.st_gid)) + " " + mode;
}

// The group a rule file gives the iowarrior nodes: GROUP="…" on a line that matches them.
std::string RuleGroup(const fs::path& rule) {
  static const std::regex kGroup(R"re(GROUP\s*:?=\s*"([^"]+)")re");
  std::ifstream file(rule);
  std::string line;
  while (std::getline(file, line)) {
    if (line.find("iowarrior") == std::string::npos || line.starts_with("#")) continue;
    std::smatch match;
    if (std::regex_search(line, match, kGroup)) return match[1];
  }
  return {};
}

bool MentionsIowarrior(const fs::path& rule) {
  std::ifstream file(rule);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.starts_with("#") && line.find("iowarrior") != std::string::npos) return true;
  }
  return false;
}

}  // namespace

LinuxSetupProbe::LinuxSetupProbe(DeviceFiles& files, const PortAccess& access, SetupPlaces places)
    : files_(files), access_(access), places_(std::move(places)), ports_(access) {
  if (places_.program.empty()) places_.program = RunningProgram();
}

LinuxSetupProbe::GrantedPorts::GrantedPorts(const PortAccess& access)
    : granted_(access.granted && access.driver_directory.empty()), kernel_(access.kernel_driver) {
  if (!access.driver_directory.empty()) driver_.emplace(access.driver_directory);
}

iow::MonitorDriver* LinuxSetupProbe::GrantedPorts::driver() {
  if (kernel_ != nullptr) return kernel_;
  return driver_ ? &*driver_ : nullptr;
}

void LinuxSetupProbe::GrantedPorts::out(std::uint16_t port, std::uint8_t value) {
  if (granted_) WritePort(port, value);
}

std::uint8_t LinuxSetupProbe::GrantedPorts::in(std::uint16_t port) { return granted_ ? ReadPort(port) : 0xFF; }

SetupFacts LinuxSetupProbe::collect() {
  SetupFacts facts;
  facts.device_directory = places_.devices;
  for (const std::string& name : IowarriorNodeNames(files_, places_.devices)) facts.nodes.push_back(look_at(name));
  find_udev_rule(facts);
  look_at_user(facts);
  look_at_ports(facts);
  facts.it87_bound = It87DriverBound(places_.sysfs);
  facts.it87_files = access_.driver_directory;
  return facts;
}

IowarriorNode LinuxSetupProbe::look_at(const std::string& name) {
  IowarriorNode node;
  node.path = places_.devices + "/" + name;
  node.owner = Owner(node.path);
  const int fd = files_.open(node.path);
  if (fd >= 0) {
    node.open = NodeOpen::kOpened;
    IowarriorInfo info;
    if (const int error = files_.get_info(fd, info); error == 0) {
      node.described = true;
      node.product = info.product;
      node.serial = info.serial;
      node.interface = info.if_num;
      node.report_size = info.report_size;
    } else {
      node.error = std::string("IOW_GETINFO: ") + std::strerror(-error);
    }
    files_.close(fd);
    return node;
  }
  node.open = fd == -EACCES || fd == -EPERM ? NodeOpen::kDenied : fd == -EBUSY ? NodeOpen::kBusy : NodeOpen::kFailed;
  node.error = std::strerror(-fd);
  // What the node is can still be read from the USB device behind it, which everyone may.
  std::error_code error;
  const fs::path interface = fs::canonical(fs::path(places_.sysfs) / "class/usbmisc" / name / "device", error);
  if (error) return node;
  const auto number = HexAttribute(interface / "bInterfaceNumber");
  const auto product = HexAttribute(interface.parent_path() / "idProduct");
  if (!number || !product) return node;
  node.described = true;
  node.interface = *number;
  node.product = *product;
  node.serial = FirstLine(interface.parent_path() / "serial");
  return node;
}

void LinuxSetupProbe::find_udev_rule(SetupFacts& facts) const {
  facts.udev_running = fs::exists(places_.udev_control);
  // The package's rule by name, where udev would take it from; else any rule of the
  // administrator's that mentions the nodes.
  for (const std::string& directory : places_.rule_directories) {
    const fs::path rule = fs::path(directory) / kUdevRuleName;
    if (fs::exists(rule)) {
      facts.udev_rule = rule.string();
      facts.udev_group = RuleGroup(rule);
      return;
    }
  }
  for (const std::string& directory : places_.rule_directories) {
    std::error_code error;
    std::vector<fs::path> rules;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
      if (entry.path().extension() == ".rules") rules.push_back(entry.path());
    }
    std::sort(rules.begin(), rules.end());
    for (const fs::path& rule : rules) {
      if (MentionsIowarrior(rule)) {
        facts.udev_rule = rule.string();
        facts.udev_group = RuleGroup(rule);
        return;
      }
    }
  }
}

void LinuxSetupProbe::look_at_user(SetupFacts& facts) const {
  const passwd* user = ::getpwuid(::getuid());
  facts.user = user ? user->pw_name : std::to_string(::getuid());
  const gid_t primary = user ? user->pw_gid : ::getgid();
  facts.root = ::geteuid() == 0;
  if (facts.udev_group.empty()) return;
  const group* grp = ::getgrnam(facts.udev_group.c_str());
  if (grp == nullptr) return;
  const gid_t wanted = grp->gr_gid;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  facts.in_group = ::getegid() == wanted || std::find(groups.begin(), groups.end(), wanted) != groups.end();
  // The group database may list the user already while this session started before that.
  bool listed = primary == wanted;
  for (char** member = grp->gr_mem; member != nullptr && *member != nullptr; ++member) {
    if (user != nullptr && std::strcmp(*member, user->pw_name) == 0) listed = true;
  }
  facts.in_group_after_login = listed && !facts.in_group;
}

void LinuxSetupProbe::look_at_ports(SetupFacts& facts) const {
  facts.program = places_.program;
  facts.program_has_capability = FileHasRawIoCapability(places_.program);
  facts.lockdown_mode = LockdownMode(places_.sysfs);
  facts.ports_foreign = access_.foreign;
  facts.kernel_sources = access_.kernel_sources;
  if (access_.granted || !access_.foreign.empty()) return;
  facts.port_error = std::strerror(access_.error) + ExplainPortRefusal(access_.error, facts.lockdown_mode);
  if (!kHavePortInstructions) {
    facts.port_refusal = PortRefusal::kNoPortInstructions;
  } else if (access_.error == EPERM) {
    facts.port_refusal = facts.lockdown_mode.empty() ? PortRefusal::kNoCapability : PortRefusal::kLockdown;
  } else if (access_.error == ENOSYS) {
    facts.port_refusal = PortRefusal::kNoIoperm;
  } else {
    facts.port_refusal = PortRefusal::kOther;
  }
}

bool FileHasRawIoCapability(const std::string& path) {
  vfs_ns_cap_data data{};
  const ssize_t size = ::getxattr(path.c_str(), "security.capability", &data, sizeof data);
  if (size < static_cast<ssize_t>(XATTR_CAPS_SZ_2)) return false;
  const bool effective = (data.magic_etc & VFS_CAP_FLAGS_EFFECTIVE) != 0;
  return effective && (data.data[CAP_TO_INDEX(CAP_SYS_RAWIO)].permitted & CAP_TO_MASK(CAP_SYS_RAWIO)) != 0;
}

}  // namespace platform::lnx

namespace platform {
namespace {

// The probe on the machine's own device files.
class SystemSetupProbe final : public SetupProbe {
 public:
  explicit SystemSetupProbe(const PortAccess& access) : probe_(files_, access) {}
  SetupFacts collect() override { return probe_.collect(); }
  iow::PortIo& ports() override { return probe_.ports(); }

 private:
  lnx::SystemDeviceFiles files_;
  lnx::LinuxSetupProbe probe_;
};

}  // namespace

std::unique_ptr<SetupProbe> OpenSetupProbe(const PortAccess& access) {
  return std::make_unique<SystemSetupProbe>(access);
}

}  // namespace platform
