// The set-up facts of Linux on fake device nodes, a fake sysfs and fake rule directories.

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/setup_probe_linux.hpp"

namespace platform::lnx {
namespace {

// What OpenHardware found of the ports: granted or refused with `error`, or the it87
// driver's files in their place.
PortAccess Access(bool granted, int error = 0, std::string driver_directory = {}) {
  PortAccess access;
  access.granted = granted;
  access.error = error;
  access.driver_directory = std::move(driver_directory);
  return access;
}

namespace fs = std::filesystem;

// Nodes by name, each opening or failing with its errno; records what is done to them.
class FakeNodes final : public DeviceFiles {
 public:
  struct Node {
    int open_error = 0;
    IowarriorInfo info;
  };
  std::map<std::string, Node> nodes;
  std::vector<int> opened;
  std::vector<int> closed;
  int writes = 0;

  std::vector<std::string> list(const std::string&) override {
    std::vector<std::string> names = {".", "..", "hiddev0"};
    for (const auto& [name, node] : nodes) names.push_back(name);
    return names;
  }
  int open(const std::string& path) override {
    const std::string name = path.substr(path.rfind('/') + 1);
    const Node& node = nodes.at(name);
    if (node.open_error != 0) return -node.open_error;
    names_.push_back(name);
    opened.push_back(static_cast<int>(names_.size()) + 2);
    return opened.back();
  }
  int get_info(int fd, IowarriorInfo& info) override {
    info = nodes.at(names_.at(static_cast<std::size_t>(fd - 3))).info;
    return 0;
  }
  ssize_t write(int, const std::uint8_t*, std::size_t) override {
    ++writes;
    return -EIO;
  }
  void close(int fd) override { closed.push_back(fd); }

 private:
  std::vector<std::string> names_;
};

class SetupProbeTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("lumatext-setup-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "sys");
    places_.devices = (root_ / "dev/usb").string();
    places_.sysfs = (root_ / "sys").string();
    places_.rule_directories = {(root_ / "etc").string(), (root_ / "lib").string()};
    places_.udev_control = (root_ / "udev-control").string();
    places_.program = (root_ / "lumatext").string();
    write("lumatext", "");
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const fs::path& relative, const std::string& text) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text;
  }

  fs::path root_;
  SetupPlaces places_;
};

TEST_F(SetupProbeTest, DescribesEveryNodeInTheOrderLumatextTriesThemAndWritesToNone) {
  FakeNodes files;
  files.nodes["iowarrior10"] = {0, {0x1501, 0, 2, "00001A2B"}};
  files.nodes["iowarrior2"] = {EBUSY, {}};
  files.nodes["iowarrior3"] = {EACCES, {}};
  // What the kernel shows of iowarrior3's device: the special-modes interface of an IO-Warrior 40.
  write("sys/class/usbmisc/iowarrior3/device/bInterfaceNumber", "01\n");
  write("sys/class/usbmisc/iowarrior3/idProduct", "1500\n");
  write("sys/class/usbmisc/iowarrior3/serial", "0000BEEF\n");
  // A device whose attributes make no sense is left undescribed.
  files.nodes["iowarrior4"] = {EACCES, {}};
  write("sys/class/usbmisc/iowarrior4/device/bInterfaceNumber", "00\n");
  write("sys/class/usbmisc/iowarrior4/idProduct", "usb\n");

  const SetupFacts facts = LinuxSetupProbe(files, Access(true), places_).collect();

  ASSERT_EQ(facts.nodes.size(), 4u);
  EXPECT_EQ(facts.nodes[0].path, places_.devices + "/iowarrior2");
  EXPECT_EQ(facts.nodes[0].open, NodeOpen::kBusy);
  EXPECT_FALSE(facts.nodes[0].described);
  EXPECT_EQ(facts.nodes[1].open, NodeOpen::kDenied);
  EXPECT_TRUE(facts.nodes[1].described);
  EXPECT_EQ(facts.nodes[1].product, 0x1500u);
  EXPECT_EQ(facts.nodes[1].interface, 1u);
  EXPECT_EQ(facts.nodes[1].serial, "0000BEEF");
  EXPECT_FALSE(facts.nodes[2].described);
  EXPECT_EQ(facts.nodes[3].open, NodeOpen::kOpened);
  EXPECT_EQ(facts.nodes[3].serial, "00001A2B");
  EXPECT_EQ(facts.nodes[3].report_size, 2u);
  // Every node opened is closed again, and nothing is written.
  EXPECT_EQ(files.closed, files.opened);
  EXPECT_EQ(files.writes, 0);
}

TEST_F(SetupProbeTest, FindsTheRuleWhereUdevTakesItAndTheGroupItGives) {
  FakeNodes files;
  EXPECT_EQ(LinuxSetupProbe(files, Access(true), places_).collect().udev_rule, "");

  // An administrator's own rule under another name counts too.
  write("lib/50-mine.rules", "# KERNEL==\"iowarrior*\", GROUP=\"wrong\"\nKERNEL==\"iowarrior*\", MODE=\"0660\", GROUP=\"dialout\"\n");
  SetupFacts facts = LinuxSetupProbe(files, Access(true), places_).collect();
  EXPECT_EQ(facts.udev_rule, (root_ / "lib/50-mine.rules").string());
  EXPECT_EQ(facts.udev_group, "dialout");
  EXPECT_FALSE(facts.udev_running);

  // The package's rule, overridden by a file of the same name in /etc.
  write("lib/60-lumatext-iowarrior.rules", "KERNEL==\"iowarrior*\", SUBSYSTEM==\"usbmisc\", GROUP=\"plugdev\", MODE=\"0660\"\n");
  EXPECT_EQ(LinuxSetupProbe(files, Access(true), places_).collect().udev_group, "plugdev");
  write("etc/60-lumatext-iowarrior.rules", "KERNEL==\"iowarrior*\", GROUP=\"lumatext\"\n");
  write("udev-control", "");
  facts = LinuxSetupProbe(files, Access(true), places_).collect();
  EXPECT_EQ(facts.udev_rule, (root_ / "etc/60-lumatext-iowarrior.rules").string());
  EXPECT_EQ(facts.udev_group, "lumatext");
  EXPECT_TRUE(facts.udev_running);
}

TEST_F(SetupProbeTest, NamesWhyThePortsWereRefusedAndNeverTouchesThemThen) {
  FakeNodes files;
  LinuxSetupProbe no_capability(files, Access(false, EPERM), places_);
  SetupFacts facts = no_capability.collect();
  EXPECT_EQ(facts.port_refusal, PortRefusal::kNoCapability);
  EXPECT_NE(facts.port_error.find(std::strerror(EPERM)), std::string::npos) << facts.port_error;
  EXPECT_NE(facts.port_error.find("CAP_SYS_RAWIO"), std::string::npos) << facts.port_error;
  EXPECT_EQ(facts.program, places_.program);
  // Without access a read would fault: the probe's ports give the open bus instead.
  EXPECT_EQ(no_capability.ports().in(0x296), 0xFF);

  write("sys/kernel/security/lockdown", "none [integrity] confidentiality\n");
  facts = LinuxSetupProbe(files, Access(false, EPERM), places_).collect();
  EXPECT_EQ(facts.port_refusal, PortRefusal::kLockdown);
  EXPECT_EQ(facts.lockdown_mode, "integrity");

  write("sys/class/hwmon/hwmon2/name", "it87\n");
  EXPECT_TRUE(LinuxSetupProbe(files, Access(true), places_).collect().it87_bound);
}

// Where main chose the it87 driver's files, the probe reads them and never the ports.
TEST_F(SetupProbeTest, WithTheIt87DriversFilesTheProbeReadsThemAndNoPort) {
  FakeNodes files;
  write("sys/class/hwmon/hwmon0/name", "it87\n");
  write("sys/class/hwmon/hwmon0/temp1_input", "45000\n");
  write("sys/class/hwmon/hwmon0/fan1_input", "0\n");
  const std::string directory = places_.sysfs + "/class/hwmon/hwmon0";
  LinuxSetupProbe probe(files, Access(true, 0, directory), places_);
  const SetupFacts facts = probe.collect();
  EXPECT_TRUE(facts.it87_bound);
  EXPECT_EQ(facts.it87_files, directory);
  ASSERT_NE(probe.ports().driver(), nullptr);
  EXPECT_EQ(probe.ports().driver()->temperature_millidegrees(), 45000);
  EXPECT_EQ(probe.ports().driver()->fan_rpm(), 0);
  // No ioperm was made: a port read would fault, so the probe gives the open bus.
  EXPECT_EQ(probe.ports().in(0x296), 0xFF);
}

// Needs the right to set file capabilities (root); skipped without it.
TEST_F(SetupProbeTest, TellsWhetherTheProgramCarriesCapSysRawioEffective) {
  const std::string program = places_.program;
  EXPECT_FALSE(FileHasRawIoCapability(program));
  auto set = [&](std::uint32_t flags, std::uint32_t permitted) {
    vfs_cap_data data{};
    data.magic_etc = VFS_CAP_REVISION_2 | flags;
    data.data[0].permitted = permitted;
    return ::setxattr(program.c_str(), "security.capability", &data, sizeof data, 0) == 0;
  };
  if (!set(VFS_CAP_FLAGS_EFFECTIVE, CAP_TO_MASK(CAP_SYS_RAWIO))) GTEST_SKIP() << "setxattr: " << std::strerror(errno);
  EXPECT_TRUE(FileHasRawIoCapability(program));
  ASSERT_TRUE(set(0, CAP_TO_MASK(CAP_SYS_RAWIO)));  // permitted, not effective: ioperm would still fail
  EXPECT_FALSE(FileHasRawIoCapability(program));
  ASSERT_TRUE(set(VFS_CAP_FLAGS_EFFECTIVE, CAP_TO_MASK(CAP_NET_RAW)));
  EXPECT_FALSE(FileHasRawIoCapability(program));
}

}  // namespace
}  // namespace platform::lnx
