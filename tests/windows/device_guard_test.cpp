#include "platform/windows/hid/device_guard.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace platform::windows {
namespace {

// Another program's attempt, as far as the mutex can tell: another thread.
bool TakenElsewhere(std::wstring_view key, std::string* error = nullptr) {
  bool taken = false;
  std::thread([&] {
    std::string why;
    taken = DeviceGuard::Take(key, why).has_value();
    if (error != nullptr) *error = why;
  }).join();
  return taken;
}

// Two lumatexts on one sign interleave their key presses: while one holds the device,
// every other take fails, and the device is free again once the holder lets go.
TEST(DeviceGuard, HeldDeviceRefusesEveryOtherTakeUntilLetGo) {
  const std::wstring key = L"07c0-1501-00001A2B";
  std::string error;
  auto first = DeviceGuard::Take(key, error);
  ASSERT_TRUE(first.has_value()) << error;
  std::string refusal;
  EXPECT_FALSE(TakenElsewhere(key, &refusal));
  EXPECT_NE(refusal.find("von einem anderen Programm belegt"), std::string::npos) << refusal;
  // Other devices stay free.
  EXPECT_TRUE(TakenElsewhere(L"07c0-1501-00001A2C"));
  first.reset();
  EXPECT_TRUE(TakenElsewhere(key));
}

// The service and a user's window run in different sessions: only the Global namespace
// is shared by both. A device path as the key (a device without a serial number): its
// backslashes would make the name a path that CreateMutex cannot make.
TEST(DeviceGuard, NameIsGlobalAndTakesADevicePath) {
  const std::wstring path = LR"(\\?\hid#vid_07c0&pid_1501&mi_00#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
  const std::wstring name = DeviceGuardName(path);
  EXPECT_EQ(name.rfind(L"Global\\", 0), 0u);
  EXPECT_EQ(name.find(L'\\', 7), std::wstring::npos);
  std::string error;
  auto guard = DeviceGuard::Take(path, error);
  ASSERT_TRUE(guard.has_value()) << error;
  // The same interface, as a listing may spell it: one device, one guard.
  EXPECT_FALSE(TakenElsewhere(LR"(\\?\HID#VID_07C0&PID_1501&MI_00#7&1A2B3C4D&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030})"));
}

// A holder that ended without letting go (a crash) must not lock the sign away for good.
TEST(DeviceGuard, AbandonedGuardCanBeTaken) {
  const std::wstring key = L"07c0-1501-abandoned";
  std::thread([&] {
    std::string error;
    auto guard = DeviceGuard::Take(key, error);
    ASSERT_TRUE(guard.has_value()) << error;
    // Never let go: the thread ends owning the mutex.
    new DeviceGuard(std::move(*guard));
  }).join();
  std::string error;
  EXPECT_TRUE(DeviceGuard::Take(key, error).has_value()) << error;
}

}  // namespace
}  // namespace platform::windows
