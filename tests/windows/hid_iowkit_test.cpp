#include "platform/windows/hid/hid_iowkit.hpp"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

namespace platform::windows {
namespace {

TEST(HidIowKit, PicksThePinsInterfaceNeverTheSpecialModes) {
  struct Case {
    const wchar_t* path;
    std::uint16_t output_report_length;
    bool pins;
  };
  const Case cases[] = {
      {LR"(\\?\hid#vid_07c0&pid_1501&mi_00#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 3, true},
      {LR"(\\?\HID#VID_07C0&PID_1501&MI_00#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 3, true},
      {LR"(\\?\hid#vid_07c0&pid_1501&mi_01#7&2b3c4d5e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 8, false},
      // A special-mode interface whose report happens to have the pins' size.
      {LR"(\\?\hid#vid_07c0&pid_1500&mi_01#7&2b3c4d5e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 5, false},
      // Paths without the interface number: the report size decides.
      {LR"(\\?\hid#vid_07c0&pid_1501#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 3, true},
      {LR"(\\?\hid#vid_07c0&pid_1500#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 5, true},
      {LR"(\\?\hid#vid_07c0&pid_1501#7&2b3c4d5e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 8, false},
      {LR"(\\?\hid#vid_07c0&pid_1501#7&2b3c4d5e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 0, false},
      // The models with more ports: ID + 7 on an IO-Warrior 56 is the pins, not a 24's special modes.
      {LR"(\\?\hid#vid_07c0&pid_1503#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 8, true},
      {LR"(\\?\hid#vid_07c0&pid_1503#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 3, false},
      {LR"(\\?\hid#vid_07c0&pid_1504#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 5, true},
      {LR"(\\?\hid#vid_07c0&pid_1506#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 13, true},
      {LR"(\\?\hid#vid_07c0&pid_1506#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})", 64, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsPinsInterface(c.path, c.output_report_length), c.pins)
        << "length " << c.output_report_length << " path index " << (&c - cases);
  }
}

// Without an IO-Warrior the library answers 0 and refuses writes without stopping.
TEST(HidIowKit, NoDeviceGivesHandleZeroAndWritesReturnZero) {
  HidIowKit kit;
  EXPECT_EQ(kit.open_device(), 0u);
  const std::uint8_t report[3] = {0x00, 0xFF, 0xFF};
  EXPECT_EQ(kit.write(0, 0, report, 3), 0u);
  EXPECT_EQ(kit.write(0x1234, 0, report, 3), 0u);
  kit.close_device(0x1234);
}

// A failed write ends the unattended modes only for a lost device: a removed device's
// error at once, any other error (Wine answers 31 for a destroyed device, a device that
// stalls a report does too) only when the interface has left the present list.
TEST(HidIowKit, FailedWriteIsALossOnlyWhenTheInterfaceIsGone) {
  struct Case {
    DWORD code;
    bool present;
    bool lost;
    bool asks;
  };
  const Case cases[] = {
      {ERROR_GEN_FAILURE, true, false, true},   // a refused report
      {ERROR_GEN_FAILURE, false, true, true},   // Wine's answer for a destroyed device
      {WAIT_TIMEOUT, true, false, true},        // a slow device
      {WAIT_TIMEOUT, false, true, true},        // a device pulled during the report
      {ERROR_ACCESS_DENIED, false, true, true},
      {ERROR_DEVICE_NOT_CONNECTED, true, true, false},
      {ERROR_BAD_COMMAND, true, true, false},
  };
  for (const Case& c : cases) {
    int asked = 0;
    const bool lost = IsLostAfterFailedWrite(c.code, [&] {
      ++asked;
      return c.present;
    });
    EXPECT_EQ(lost, c.lost) << "code " << c.code << (c.present ? " present" : " absent");
    EXPECT_EQ(asked > 0, c.asks) << "code " << c.code;
  }
}

// An interface the system does not list is not present; a path differing only in case is.
TEST(HidIowKit, InterfacePresenceComparesPathsWithoutCase) {
  EXPECT_FALSE(IsInterfacePresent(
      LR"(\\?\hid#vid_07c0&pid_1501&mi_00#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})"));
  for (const std::wstring& path : HidDevicePaths()) {
    std::wstring upper = path;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    EXPECT_TRUE(IsInterfacePresent(upper));
  }
}

}  // namespace
}  // namespace platform::windows
