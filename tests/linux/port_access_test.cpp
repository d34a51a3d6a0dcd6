// Port access on Linux: capabilities are dropped after ioperm, and a refusal says why.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/desktop.hpp"
#include "platform/linux/linux_port_io.hpp"
#include "platform/linux/port_instructions.hpp"

namespace platform::lnx {
namespace {

namespace fs = std::filesystem;

// The lines of /proc/self/status that show the capability sets `names` (e.g. "CapEff"),
// in the kernel's order.
std::string Capabilities(std::initializer_list<std::string_view> names = {"CapPrm", "CapEff"}) {
  std::ifstream status("/proc/self/status");
  std::string line;
  std::string masks;
  while (std::getline(status, line)) {
    for (const std::string_view name : names) {
      if (line.starts_with(name) && line.size() > name.size() && line[name.size()] == ':') masks += line + "\n";
    }
  }
  return masks;
}

class FakeSysfs : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("lumatext-sysfs-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "class/hwmon");
    fs::create_directories(root_ / "kernel/security");
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const fs::path& relative, const std::string& text) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text << "\n";
  }

  fs::path root_;
};

TEST_F(FakeSysfs, FindsTheIt87DriverAmongTheHwmonDevices) {
  write("class/hwmon/hwmon0/name", "coretemp");
  EXPECT_FALSE(It87DriverBound(root_));
  write("class/hwmon/hwmon1/name", "it87");
  EXPECT_TRUE(It87DriverBound(root_));
  EXPECT_FALSE(It87DriverBound(root_ / "missing"));
}

// The driver names its platform device after the environment controller's base:
// it87.656 for 0x290. hwmon devices of other drivers, and an it87 at another base, are not ours.
TEST_F(FakeSysfs, TakesTheIt87HwmonDeviceOfTheChipAtTheMonitorsBase) {
  const auto device = [&](const std::string& hwmon, const std::string& name) {
    fs::create_directories(root_ / "devices/platform" / name);
    fs::create_directory_symlink(root_ / "devices/platform" / name, root_ / "class/hwmon" / hwmon / "device");
  };
  write("class/hwmon/hwmon0/name", "coretemp");
  device("hwmon0", "coretemp.0");
  write("class/hwmon/hwmon1/name", "it87");
  device("hwmon1", "it87.552");  // a second ITE chip at 0x228
  EXPECT_EQ(It87Directory(root_, 0x290), "");
  EXPECT_FALSE(It87DriverBound(root_));
  write("class/hwmon/hwmon2/name", "it87");
  device("hwmon2", "it87.656");
  EXPECT_EQ(It87Directory(root_, 0x290), (root_ / "class/hwmon/hwmon2").string());
  EXPECT_EQ(It87Directory(root_, 0x228), (root_ / "class/hwmon/hwmon1").string());
}

// With the it87 driver serving the chip: no ioperm, every capability dropped, and the
// readings from its files. A port instruction without ioperm faults, so a read after
// grant ends the process where ioperm would have let it through.
TEST_F(FakeSysfs, WithTheIt87DriverTheReadingsComeFromItsFilesAndNoPortIsOpened) {
  if (!kHavePortInstructions) GTEST_SKIP() << "no port instructions to fault";
  write("class/hwmon/hwmon3/name", "it87");
  fs::create_directories(root_ / "devices/platform/it87.656");
  fs::create_directory_symlink(root_ / "devices/platform/it87.656", root_ / "class/hwmon/hwmon3/device");
  write("class/hwmon/hwmon3/temp1_input", "-1000");
  write("class/hwmon/hwmon3/fan1_input", "3000");
  EXPECT_EXIT(
      {
        LinuxPortIo ports(root_);
        ports.grant(0x295, 2);
        const bool acquired = ports.acquire(0x295, 2);
        iow::MonitorDriver* driver = ports.driver();
        const bool read = driver != nullptr && driver->temperature_millidegrees() == -1000 && driver->fan_rpm() == 3000;
        std::fprintf(stderr, "%sacquired %d, error %d, read %d, files %s", Capabilities().c_str(), acquired, ports.error(), read,
                     ports.driver_directory().c_str());
        std::fflush(stderr);
        ReadPort(0x296);
        std::exit(0);
      },
      // Killed by SIGSEGV; under a sanitizer its handler ends the process with an error status.
      [](int status) { return !(WIFEXITED(status) && WEXITSTATUS(status) == 0); },
      "CapPrm:\t0000000000000000\nCapEff:\t0000000000000000\nacquired 1, error 0, read 1, files .*/class/hwmon/hwmon3");
}

TEST_F(FakeSysfs, ReadsTheActiveLockdownMode) {
  EXPECT_EQ(LockdownMode(root_), "");  // no lockdown file: a kernel without the LSM
  write("kernel/security/lockdown", "[none] integrity confidentiality");
  EXPECT_EQ(LockdownMode(root_), "");
  write("kernel/security/lockdown", "none [integrity] confidentiality");
  EXPECT_EQ(LockdownMode(root_), "integrity");
}

// Runs in a child process: the capabilities it drops are its own.
TEST_F(FakeSysfs, AcquireDropsEveryCapabilityWhetherOrNotIopermSucceeds) {
  EXPECT_EXIT(
      {
        LinuxPortIo ports(root_);
        ports.acquire(0x295, 2);
        const std::string caps = Capabilities();
        std::fprintf(stderr, "%s", caps.c_str());
        std::exit(caps == "CapPrm:\t0000000000000000\nCapEff:\t0000000000000000\n" ? 0 : 1);
      },
      testing::ExitedWithCode(0), "CapEff:\t0000000000000000");
}

// What main does first: the hardware is opened, and with it the ports asked for, before
// the window system or any other library; by then no capability is left.
TEST(StartOfMain, NoCapabilityIsLeftOnceTheHardwareIsOpen) {
  if (Capabilities() == "CapPrm:\t0000000000000000\nCapEff:\t0000000000000000\n") {
    GTEST_SKIP() << "this process has no capability to drop";
  }
  EXPECT_EXIT(
      {
        const auto hardware = platform::OpenHardware(0x295, 2);
        const std::string sets = Capabilities({"CapInh", "CapPrm", "CapEff", "CapAmb"});
        std::fprintf(stderr, "%s", sets.c_str());
        std::exit(hardware && sets == "CapInh:\t0000000000000000\nCapPrm:\t0000000000000000\n"
                                       "CapEff:\t0000000000000000\nCapAmb:\t0000000000000000\n"
                      ? 0
                      : 1);
      },
      testing::ExitedWithCode(0), "CapAmb:\t0000000000000000");
}

TEST(PortRefusal, SaysWhatToDoAboutEachReason) {
  EXPECT_NE(ExplainPortRefusal(EPERM, "integrity").find("Lockdown-Modus integrity"), std::string::npos);
  EXPECT_NE(ExplainPortRefusal(EPERM, "confidentiality").find("Secure Boot"), std::string::npos);
  const std::string no_capability = ExplainPortRefusal(EPERM, "");
  EXPECT_NE(no_capability.find("CAP_SYS_RAWIO"), std::string::npos);
  EXPECT_NE(no_capability.find("setcap cap_sys_rawio+ep"), std::string::npos);
  EXPECT_NE(ExplainPortRefusal(ENOSYS, "").find("ohne ioperm"), std::string::npos);
  EXPECT_EQ(ExplainPortRefusal(EINVAL, ""), "");
}

// Without CAP_SYS_RAWIO ioperm is refused (EPERM; ENOSYS where the kernel has no ioperm),
// and the message names the call and the error.
TEST_F(FakeSysfs, RefusedAccessIsReportedWithTheCallAndItsError) {
  EXPECT_EXIT(
      {
        DropAllCapabilities();
        LinuxPortIo ports(root_);
        std::exit(ports.acquire(0x295, 2) ? 1 : 0);
      },
      testing::ExitedWithCode(0), "PortAccess: ioperm\\(0x295, 2\\): [A-Z]");
}

}  // namespace
}  // namespace platform::lnx
