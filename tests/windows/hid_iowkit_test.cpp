#include "platform/windows/hid_iowkit.hpp"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace platform::windows
