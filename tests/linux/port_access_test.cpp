// Port access on Linux: capabilities are dropped after ioperm, and a refusal says why.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/desktop.hpp"
#include "platform/linux/linux_port_io.hpp"

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
