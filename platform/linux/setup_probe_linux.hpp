#pragma once
// The set-up facts of a Linux machine: the iowarrior driver's nodes, udev, the user's
// groups, ioperm and the it87 driver.

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/device_files.hpp"
#include "platform/linux/linux_port_io.hpp"
#include "platform/setup_facts.hpp"

namespace platform::lnx {

// The name under which the package installs the rule for the IO-Warrior nodes.
inline constexpr const char* kUdevRuleName = "60-lumatext-iowarrior.rules";

// Where the facts are looked for; tests point them at directories of their own.
struct SetupPlaces {
  std::string devices = "/dev/usb";
  std::string sysfs = "/sys";
  // udev's rule directories, the one whose file of a given name wins first.
  std::vector<std::string> rule_directories = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
                                               "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
  // Exists while udev runs.
  std::string udev_control = "/run/udev/control";
  // The program whose file capability is looked at; empty: the running one.
  std::string program;
};

class LinuxSetupProbe final : public SetupProbe {
 public:
  LinuxSetupProbe(DeviceFiles& files, const PortAccess& access, SetupPlaces places = {});

  SetupFacts collect() override;
  iow::PortIo& ports() override { return ports_; }

 private:
  // The ports as far as `access` reached them, or the it87 driver's files in their place,
  // or the program's readings from the kernel's other monitors.
  class GrantedPorts final : public iow::PortIo {
   public:
    explicit GrantedPorts(const PortAccess& access);
    bool acquire(std::uint16_t, std::uint16_t) override { return granted_ || driver() != nullptr; }
    void out(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t in(std::uint16_t port) override;
    iow::MonitorDriver* driver() override;

   private:
    bool granted_;
    std::optional<It87Files> driver_;
    iow::MonitorDriver* kernel_;
  };

  IowarriorNode look_at(const std::string& name);
  void find_udev_rule(SetupFacts& facts) const;
  void look_at_user(SetupFacts& facts) const;
  void look_at_ports(SetupFacts& facts) const;

  DeviceFiles& files_;
  PortAccess access_;
  SetupPlaces places_;
  GrantedPorts ports_;
};

// Whether the file `path` carries CAP_SYS_RAWIO as a permitted and effective file capability.
bool FileHasRawIoCapability(const std::string& path);

}  // namespace platform::lnx
