// The IO-Warrior through the kernel's iowarrior driver, on fake device nodes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/device_files.hpp"
#include "platform/linux/iowarrior_watch.hpp"
#include "platform/linux/linux_iowkit.hpp"
#include "platform/linux/precise_clock.hpp"

namespace platform::lnx {
namespace {

struct FakeNode {
  int open_error = 0;  // errno of open, 0: opens
  IowarriorInfo info;
};

class FakeDeviceFiles final : public DeviceFiles {
 public:
  std::map<std::string, FakeNode> nodes;  // by name in /dev/usb
  std::vector<std::string> extra_names;   // entries that are not nodes of ours
  std::vector<std::string> opened;        // paths, in the order tried
  std::vector<int> closed;
  std::vector<std::vector<std::uint8_t>> written;
  int write_error = 0;
  bool hang_up = false;  // what poll reports of every node

  std::vector<std::string> list(const std::string& directory) override {
    EXPECT_EQ(directory, "/dev/usb");
    std::vector<std::string> names = extra_names;
    for (const auto& [name, node] : nodes) names.push_back(name);
    return names;
  }
  int open(const std::string& path) override {
    opened.push_back(path);
    const FakeNode& node = nodes.at(path.substr(path.rfind('/') + 1));
    if (node.open_error != 0) return -node.open_error;
    fd_paths_.push_back(path);
    return static_cast<int>(fd_paths_.size()) + 2;
  }
  int get_info(int fd, IowarriorInfo& info) override {
    const std::string& path = fd_paths_.at(static_cast<std::size_t>(fd - 3));
    info = nodes.at(path.substr(path.rfind('/') + 1)).info;
    return 0;
  }
  ssize_t write(int, const std::uint8_t* data, std::size_t size) override {
    if (write_error != 0) return -write_error;
    written.emplace_back(data, data + size);
    return static_cast<ssize_t>(size);
  }
  void close(int fd) override { closed.push_back(fd); }
  bool hung_up(int) override { return hang_up; }

  std::string path_of(int fd) const { return fd_paths_.at(static_cast<std::size_t>(fd - 3)); }

 private:
  std::vector<std::string> fd_paths_;
};

// A two-port IO-Warrior 24: interface 0 takes 2 bytes, interface 1 the special modes.
FakeNode Pins(std::uint32_t report_size = 2) { return {0, {0x1501, 0, report_size, ""}}; }
FakeNode Specials() { return {0, {0x1501, 1, 7, ""}}; }

TEST(IowarriorOpen, TakesTheFirstPinsInterfaceInNumericNotLexicalOrder) {
  FakeDeviceFiles files;
  files.nodes = {{"iowarrior10", Pins()}, {"iowarrior2", Specials()}, {"iowarrior3", Pins()}};
  files.extra_names = {".", "..", "iowarrior", "iowarrior1x", "hiddev0"};
  LinuxIowKit kit(files);

  const iow::IowKitHandle handle = kit.open_device();

  ASSERT_NE(handle, 0u);
  EXPECT_EQ(files.opened, (std::vector<std::string>{"/dev/usb/iowarrior2", "/dev/usb/iowarrior3"}));
  // The special-modes node was closed again; the pins node stays open.
  ASSERT_EQ(files.closed.size(), 1u);
  EXPECT_EQ(files.path_of(files.closed[0]), "/dev/usb/iowarrior2");
}

TEST(IowarriorOpen, ReturnsZeroWhenNoNodeCanBeOpenedAndLeavesNothingOpen) {
  FakeDeviceFiles files;
  files.nodes = {{"iowarrior0", {EACCES, {}}}, {"iowarrior1", Specials()}};
  LinuxIowKit kit(files);

  testing::internal::CaptureStderr();
  EXPECT_EQ(kit.open_device(), 0u);
  const std::string diagnostics = testing::internal::GetCapturedStderr();

  EXPECT_EQ(files.closed.size(), 1u);  // only iowarrior1, which did open
  EXPECT_NE(diagnostics.find("IowKitOpenDevice"), std::string::npos) << diagnostics;
  EXPECT_NE(diagnostics.find("Permission denied"), std::string::npos) << diagnostics;

  FakeDeviceFiles none;
  LinuxIowKit empty(none);
  testing::internal::CaptureStderr();
  EXPECT_EQ(empty.open_device(), 0u);
  testing::internal::GetCapturedStderr();
}

TEST(IowarriorWrite, SendsThePortBytesWithoutTheReportIdAndCountsTheId) {
  FakeDeviceFiles files;
  files.nodes = {{"iowarrior0", Pins()}};
  LinuxIowKit kit(files);
  const iow::IowKitHandle handle = kit.open_device();
  const std::uint8_t press[4] = {0x00, 0xFF, 0xFE, 0x55};  // the fourth byte is never sent

  EXPECT_EQ(kit.write(handle, 0, press, 3), 3u);

  ASSERT_EQ(files.written.size(), 1u);
  EXPECT_EQ(files.written[0], (std::vector<std::uint8_t>{0xFF, 0xFE}));
}

// Each model's pins interface as the driver reports it: product ID and report size.
struct ModelNode {
  std::uint32_t product;
  std::uint32_t report_size;
};

TEST(IowarriorWrite, WidensTheKeypadReportToEachModelsPinReportWithEveryFurtherPortHigh) {
  for (const ModelNode model : {ModelNode{0x1501, 2}, ModelNode{0x1500, 4}, ModelNode{0x1503, 7},
                                ModelNode{0x1504, 4}, ModelNode{0x1505, 4}, ModelNode{0x1506, 12}}) {
    FakeDeviceFiles files;
    files.nodes = {{"iowarrior0", {0, {model.product, 0, model.report_size, ""}}}};
    LinuxIowKit kit(files);
    testing::internal::CaptureStderr();
    const iow::IowKitHandle handle = kit.open_device();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << model.product;  // a known model: no note
    const std::uint8_t press[3] = {0x00, 0xFF, 0xBF};

    EXPECT_EQ(kit.write(handle, 0, press, 3), 3u) << model.product;

    std::vector<std::uint8_t> expected(model.report_size, 0xFF);
    expected[1] = 0xBF;
    ASSERT_EQ(files.written.size(), 1u) << model.product;
    EXPECT_EQ(files.written[0], expected) << model.product;
  }
}

TEST(IowarriorOpen, SkipsAPinsInterfaceWithoutPort1OrWithAWrongLengthAndNotesAnUnknownModel) {
  FakeDeviceFiles files;
  files.nodes = {{"iowarrior0", {0, {0x15F0, 0, 1, ""}}},    // unknown, one port byte
                 {"iowarrior2", {0, {0x1506, 0, 13, ""}}},   // an IO-Warrior 100 said to take 13
                 {"iowarrior4", {0, {0x15F1, 0, 3, ""}}}};   // unknown, three port bytes
  LinuxIowKit kit(files);

  testing::internal::CaptureStderr();
  const iow::IowKitHandle handle = kit.open_device();
  const std::string diagnostics = testing::internal::GetCapturedStderr();

  ASSERT_NE(handle, 0u);
  EXPECT_EQ(files.path_of(static_cast<int>(handle - 1)), "/dev/usb/iowarrior4");
  EXPECT_NE(diagnostics.find("/dev/usb/iowarrior4: unbekanntes Modell 0x15F1 mit 3 Port-Bytes"), std::string::npos)
      << diagnostics;
  const std::uint8_t release[3] = {0x00, 0xFF, 0xFF};
  EXPECT_EQ(kit.write(handle, 0, release, 3), 3u);
  EXPECT_EQ(files.written, (std::vector<std::vector<std::uint8_t>>{{0xFF, 0xFF, 0xFF}}));

  // Alone, the one-port device is refused with the reason named.
  FakeDeviceFiles one_port;
  one_port.nodes = {{"iowarrior0", {0, {0x15F0, 0, 1, ""}}}};
  LinuxIowKit refused(one_port);
  testing::internal::CaptureStderr();
  EXPECT_EQ(refused.open_device(), 0u);
  const std::string why = testing::internal::GetCapturedStderr();
  EXPECT_NE(why.find("IowKitOpenDevice: /dev/usb/iowarrior0: unbekanntes Modell 0x15F0 hat nur 1 Port-Byte"),
            std::string::npos)
      << why;
  EXPECT_EQ(one_port.closed.size(), 1u);
}

TEST(IowarriorWrite, RefusesWhatTheDriverWouldNotTakeWithoutWriting) {
  FakeDeviceFiles files;
  files.nodes = {{"iowarrior0", {0, {0x1500, 0, 4, ""}}}};  // an IO-Warrior 40 takes four port bytes
  LinuxIowKit kit(files);
  const iow::IowKitHandle handle = kit.open_device();
  const std::uint8_t report[3] = {0x00, 0xFF, 0xFF};
  const std::uint8_t too_long[6] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::uint8_t wrong_id[5] = {0x01, 0xFF, 0xFF, 0xFF, 0xFF};

  testing::internal::CaptureStderr();
  EXPECT_EQ(kit.write(handle, 0, report, 2), 0u);        // no port 1
  EXPECT_EQ(kit.write(handle, 0, too_long, 6), 0u);      // longer than the device's report
  EXPECT_EQ(kit.write(handle, 1, report, 3), 0u);        // not the pins pipe
  EXPECT_EQ(kit.write(handle + 1, 0, report, 3), 0u);    // not our handle
  EXPECT_EQ(kit.write(handle, 0, wrong_id, 5), 0u);      // not the pin report
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(files.written.empty());

  kit.close_device(handle);
  const std::uint8_t fits[5] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF};
  testing::internal::CaptureStderr();
  EXPECT_EQ(kit.write(handle, 0, fits, 5), 0u);  // closed
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(files.written.empty());
}

TEST(IowarriorWrite, ReportsTheFirstFailureAfterEachSuccessOnce) {
  FakeDeviceFiles files;
  files.nodes = {{"iowarrior0", Pins()}};
  LinuxIowKit kit(files);
  const iow::IowKitHandle handle = kit.open_device();
  const std::uint8_t report[3] = {0x00, 0xFF, 0xFF};

  testing::internal::CaptureStderr();
  EXPECT_EQ(kit.write(handle, 0, report, 3), 3u);
  files.write_error = ENODEV;
  EXPECT_EQ(kit.write(handle, 0, report, 3), 0u);
  EXPECT_EQ(kit.write(handle, 0, report, 3), 0u);
  files.write_error = 0;
  EXPECT_EQ(kit.write(handle, 0, report, 3), 3u);
  files.write_error = EPIPE;
  EXPECT_EQ(kit.write(handle, 0, report, 3), 0u);
  const std::string diagnostics = testing::internal::GetCapturedStderr();

  EXPECT_EQ(diagnostics,
            "IowKitWrite: write(/dev/usb/iowarrior0): No such device\n"
            "IowKitWrite: write(/dev/usb/iowarrior0): Broken pipe\n");
}

TEST(IowarriorGone, OnlyADisconnectedDeviceIsGoneNotOneThatRefusesAReport) {
  FakeDeviceFiles files;
  files.nodes = {{"iowarrior0", Pins()}};
  LinuxIowKit kit(files);
  const iow::IowKitHandle handle = kit.open_device();
  const std::uint8_t report[3] = {0x00, 0xFF, 0xFF};
  testing::internal::CaptureStderr();

  files.write_error = EPIPE;  // the device stalls the report
  EXPECT_EQ(kit.write(handle, 0, report, 3), 0u);
  EXPECT_FALSE(kit.gone(handle));
  // A write in flight when the device goes fails with a USB error; the node's hang-up tells.
  files.write_error = EPROTO;
  files.hang_up = true;
  EXPECT_EQ(kit.write(handle, 0, report, 3), 0u);
  EXPECT_TRUE(kit.gone(handle));
  EXPECT_FALSE(kit.gone(handle + 1));
  kit.close_device(handle);

  // Re-plugged: the new node is not gone until its own write fails with ENODEV.
  files.hang_up = false;
  files.write_error = 0;
  const iow::IowKitHandle again = kit.open_device();
  EXPECT_FALSE(kit.gone(again));
  files.write_error = ENODEV;
  EXPECT_EQ(kit.write(again, 0, report, 3), 0u);
  EXPECT_TRUE(kit.gone(again));
  testing::internal::GetCapturedStderr();
}

// A node whose device is a pipe: once its write end is closed, poll reports POLLHUP on
// it, as the iowarrior driver does for a node whose device was disconnected.
class PipeNode final : public DeviceFiles {
 public:
  PipeNode() { EXPECT_EQ(::pipe2(ends_, O_CLOEXEC), 0); }
  ~PipeNode() override {
    unplug();
    if (ends_[0] >= 0) ::close(ends_[0]);
  }
  void unplug() {
    if (ends_[1] >= 0) ::close(ends_[1]);
    ends_[1] = -1;
  }

  std::vector<std::string> list(const std::string&) override { return {"iowarrior0"}; }
  int open(const std::string&) override { return ends_[0]; }
  int get_info(int, IowarriorInfo& info) override {
    info = {0x1501, 0, 2, ""};
    return 0;
  }
  ssize_t write(int, const std::uint8_t*, std::size_t size) override { return static_cast<ssize_t>(size); }
  void close(int) override {}
  bool hung_up(int fd) override { return system_.hung_up(fd); }

 private:
  int ends_[2] = {-1, -1};
  SystemDeviceFiles system_;
};

// A USB device as sysfs shows it: its attributes, and one interface with endpoints.
struct SysfsDevice {
  std::filesystem::path root;
  explicit SysfsDevice(const std::string& name)
      : root(std::filesystem::temp_directory_path() / ("lumatext-sysfs-" + name + "-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(root);
  }
  ~SysfsDevice() { std::filesystem::remove_all(root); }
  SysfsDevice(const SysfsDevice&) = delete;
  SysfsDevice& operator=(const SysfsDevice&) = delete;
  void put(const std::string& path, const std::string& text) const {
    std::filesystem::create_directories((root / path).parent_path());
    std::ofstream(root / path) << text << "\n";
  }
  // Interface `number` of device `vendor`:`product` with an endpoint of each kind.
  std::string interface(const std::string& vendor, const std::string& product, int number, const std::string& in_size) const {
    put("idVendor", vendor);
    put("idProduct", product);
    put("serial", "00001A2B");
    const std::string dir = "1-1:1." + std::to_string(number);
    char number_text[8];  // the kernel writes it as %02x
    std::snprintf(number_text, sizeof number_text, "%02x", number);
    put(dir + "/bInterfaceNumber", number_text);
    put(dir + "/ep_02/type", "Interrupt");
    put(dir + "/ep_02/direction", "out");
    put(dir + "/ep_02/wMaxPacketSize", "0040");
    put(dir + "/ep_81/type", "Interrupt");
    put(dir + "/ep_81/direction", "in");
    put(dir + "/ep_81/wMaxPacketSize", in_size);
    return (root / dir).string();
  }
};

// A 32-bit lumatext on a 64-bit kernel gets ENOTTY for IOW_GETINFO (the driver has no
// compat_ioctl) and reads the same facts from sysfs: a wrong report size there would
// make every write fail.
TEST(IowarriorSysfsInfo, GivesWhatTheDriverSetsPerModelAndInterface) {
  struct Row {
    const char* product;
    int number;
    const char* in_size;
    std::uint32_t report_size;
  };
  const Row rows[] = {
      {"1501", 0, "0002", 2},   // IOW24 pins: the interrupt-IN endpoint's size
      {"1501", 1, "0008", 8},   // IOW24 special modes
      {"1500", 0, "0004", 4},   // IOW40
      {"1503", 0, "0008", 7},   // IOW56: fixed by the driver
      {"1504", 0, "0040", 4},   // IOW28
      {"1505", 0, "0040", 4},   // IOW28L
      {"1506", 0, "0040", 12},  // IOW100
      {"1506", 1, "0040", 64},  // IOW100 special modes: the endpoint again
  };
  for (const Row& row : rows) {
    SysfsDevice device(row.product);
    IowarriorInfo info;
    ASSERT_EQ(IowarriorInfoFromSysfs(device.interface("07c0", row.product, row.number, row.in_size), info), 0) << row.product;
    EXPECT_EQ(info.product, std::stoul(row.product, nullptr, 16));
    EXPECT_EQ(info.if_num, static_cast<std::uint32_t>(row.number));
    EXPECT_EQ(info.report_size, row.report_size) << row.product << " interface " << row.number;
    EXPECT_EQ(info.serial, "00001A2B");
  }
}

TEST(IowarriorSysfsInfo, RefusesAnotherVendorsDeviceAndAMissingInterface) {
  SysfsDevice device("other");
  IowarriorInfo info;
  EXPECT_EQ(IowarriorInfoFromSysfs(device.interface("046d", "1501", 0, "0002"), info), -ENOENT);
  EXPECT_EQ(IowarriorInfoFromSysfs((device.root / "absent").string(), info), -ENOENT);
}

TEST(IowarriorWatch, WakesThePauseAtOnceWhenTheNodeHangsUpAndOtherwiseKeepsTheDeadline) {
  PipeNode node;
  LinuxIowKit kit(node);
  PreciseClock clock;
  IowarriorWatch watch(kit, clock);
  ASSERT_NE(kit.open_device(), 0u);

  const iow::TimePoint deadline = clock.now() + std::chrono::milliseconds{5};
  EXPECT_FALSE(watch.wait_until_gone(deadline));
  EXPECT_GE(clock.now(), deadline);

  node.unplug();
  const iow::TimePoint start = clock.now();
  EXPECT_TRUE(watch.wait_until_gone(start + std::chrono::hours{1}));
  EXPECT_TRUE(watch.wait_until_gone(iow::TimePoint::max()));
  EXPECT_LT(clock.now() - start, std::chrono::seconds{1});
}

// After a loss the unattended program starts again once a pins node is there for it: not
// on the special-modes node alone (the start would find no pins interface and end), nor
// on another vendor's node.
TEST(IowarriorReturn, WaitsForAPinsNodeNotForTheSpecialModesNodeOrAnotherDevice) {
  SysfsDevice tree("return");
  const std::string nodes = (tree.root / "dev").string();
  const std::string classes = (tree.root / "class").string();
  std::filesystem::create_directories(nodes);
  SysfsDevice special("return-special"), other("return-other"), pins("return-pins");
  const auto node = [&](const std::string& name, const std::string& interface_dir) {
    tree.put("dev/" + name, "");
    tree.put("class/" + name + "/uevent", "");
    std::filesystem::create_directory_symlink(interface_dir, tree.root / "class" / name / "device");
  };
  EXPECT_FALSE(IowarriorPinsNodeReady(0, nodes, classes)) << "no node";
  node("iowarrior1", special.interface("07c0", "1501", 1, "0008"));
  EXPECT_FALSE(IowarriorPinsNodeReady(0, nodes, classes)) << "special modes only";
  node("iowarrior7", other.interface("046d", "1501", 0, "0002"));
  EXPECT_FALSE(IowarriorPinsNodeReady(0, nodes, classes)) << "another vendor's";
  node("iowarrior0", pins.interface("07c0", "1501", 0, "0002"));
  EXPECT_TRUE(IowarriorPinsNodeReady(0, nodes, classes));

  SysfsDevice bare("return-bare");
  bare.put("dev/iowarrior3", "");
  const std::string bare_nodes = (bare.root / "dev").string(), bare_classes = (bare.root / "class").string();
  EXPECT_TRUE(IowarriorPinsNodeReady(0, bare_nodes, bare_classes)) << "a node sysfs says nothing of is tried";

  // The lost device's node, still there a moment after the failed write, is not its return;
  // the node made anew when it is plugged in again is.
  const auto inode = [](const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_ino) : 0;
  };
  const std::uint64_t lost = inode(bare.root / "dev/iowarrior3");
  EXPECT_FALSE(IowarriorPinsNodeReady(lost, bare_nodes, bare_classes)) << "the lost node itself";
  bare.put("dev/iowarrior3.new", "");
  std::filesystem::remove(bare.root / "dev/iowarrior3");
  std::filesystem::rename(bare.root / "dev/iowarrior3.new", bare.root / "dev/iowarrior3");
  ASSERT_NE(inode(bare.root / "dev/iowarrior3"), lost);
  EXPECT_TRUE(IowarriorPinsNodeReady(lost, bare_nodes, bare_classes)) << "made anew";
}

}  // namespace
}  // namespace platform::lnx
