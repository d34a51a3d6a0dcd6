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

#include "monitor/sensor_choice.hpp"
#include "monitor/sensor_readings.hpp"
#include "platform/desktop.hpp"
#include "platform/linux/linux_port_io.hpp"
#include "platform/linux/port_instructions.hpp"
#include "platform/system_clock.hpp"
#include "platform/window_state.hpp"

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

// The readings need no IO-Warrior.
class NoIowarrior final : public iow::IowKit {
 public:
  iow::IowKitHandle open_device() override { return 0; }
  std::uint32_t write(iow::IowKitHandle, std::uint32_t, const std::uint8_t*, std::uint32_t) override { return 0; }
  void close_device(iow::IowKitHandle) override {}
};

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
  // class/hwmon/`hwmon`/device, leading to the platform device `name`, as sysfs links it.
  void device(const std::string& hwmon, const std::string& name) {
    fs::create_directories(root_ / "devices/platform" / name);
    fs::create_directory_symlink(root_ / "devices/platform" / name, root_ / "class/hwmon" / hwmon / "device");
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
  device("hwmon3", "it87.656");
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

// A chip another driver serves at 0x290 (here the Nuvoton chip of an Intel desktop):
// that driver selects its registers through the same address port, so no port is ever
// touched, and the readings come from the CPU's own sensor and the board's CPU fan.
TEST_F(FakeSysfs, WhereAnotherDriverServesTheChipThePortsAreLeftAloneAndTheKernelsSensorsRead) {
  write("class/hwmon/hwmon0/name", "coretemp");
  write("class/hwmon/hwmon0/temp1_label", "Package id 0");
  write("class/hwmon/hwmon0/temp1_input", "52000");
  device("hwmon0", "coretemp.0");
  write("class/hwmon/hwmon1/name", "nct6798");
  write("class/hwmon/hwmon1/fan1_input", "800");
  write("class/hwmon/hwmon1/fan2_input", "1234");
  device("hwmon1", "nct6775.656");
  EXPECT_EXIT(
      {
        LinuxPortIo ports(root_, root_);
        ports.grant(0x295, 2);
        const bool refused_before_choice = !ports.granted() && !ports.acquire(0x295, 2);
        const std::string error = monitor::ChooseReadingSource(ports, {});
        const bool acquired = ports.acquire(0x295, 2);
        WindowState w;
        platform::SystemClock clock;
        NoIowarrior kit;
        iow::OutsideLibraries lib(kit, ports, clock);
        monitor::ReadTemperatureText(w, lib);
        const std::string temperature = w.DisplayText;
        monitor::ReadFanSpeedText(w, lib);
        std::fprintf(stderr, "\nrefused %d, error '%s', acquired %d: %s | %s\n", refused_before_choice, error.c_str(),
                     acquired, temperature.c_str(), w.DisplayText.c_str());
        std::fflush(stderr);
        // No ioperm was asked for: a port instruction now faults.
        if (kHavePortInstructions) ReadPort(0x296);
        std::exit(0);
      },
      [](int status) { return !kHavePortInstructions || !(WIFEXITED(status) && WEXITSTATUS(status) == 0); },
      "an 0x290 bedient der Treiber nct6775 des Kernels einen Chip \\(hwmon1, nct6798\\)(.|\n)*"
      "refused 1, error '', acquired 1: CPU Temperatur : 52'C \\| CPU Luefterdrehzahl : 1234 rpm");
}

// A claim in the kernel's list of I/O ports is a driver's; a bus's window and the
// firmware's reservations are not, and an unprivileged reader sees only zeros.
TEST_F(FakeSysfs, TakesAClaimOnTheMonitorsPortsInIoportsForAnotherDrivers) {
  struct Row {
    const char* ioports;
    bool foreign;
  };
  const Row rows[] = {
      {"0000-0cf7 : PCI Bus 0000:00\n  0290-029f : pnp 00:06\n", false},
      {"0000-0cf7 : PCI Bus 0000:00\n  0290-029f : pnp 00:06\n    0295-0296 : nct6775\n", true},
      {"0000-0000 : PCI Bus 0000:00\n  0000-0000 : nct6775\n", false},
      {"  0294-0294 : other\n  0297-029c : rtc0\n", false},
      {"  0295-029c : rtc0\n", true},
      {"  0290-0297 : reserved\n", false},
  };
  for (const Row& row : rows) {
    write("ioports", row.ioports);
    EXPECT_EQ(!ForeignDriver(root_, root_, 0x295, 2).empty(), row.foreign) << row.ioports;
  }
  write("ioports", "  0295-0296 : nct6775\n");
  EXPECT_NE(ForeignDriver(root_, root_, 0x295, 2).find("dem Treiber nct6775"), std::string::npos);
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
