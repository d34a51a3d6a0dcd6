#include "platform/windows/windows_port_io.hpp"

#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "platform/windows/user_advice.hpp"
#include "tests/windows/fake_pawnio.hpp"

namespace platform::windows {
namespace {

constexpr std::array kFallback{PortIoLibrary{L"inpout_fallback.dll", "Out32", "Inp32", PortIoLibrary::Calls::kInpOut}};

// The fake device, shared with the port I/O that owns it.
class SharedFake final : public PawnIoDevice {
 public:
  explicit SharedFake(FakePawnIo& fake) : fake_(fake) {}
  DWORD open() override { return fake_.open(); }
  DWORD control(DWORD code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out, DWORD& returned) override {
    return fake_.control(code, in, out, returned);
  }

 private:
  FakePawnIo& fake_;
};

TEST(WindowsPortIo, FallsBackToTheDllOnlyWherePawnIoIsNotInstalled) {
  const auto module = std::filesystem::temp_directory_path() / "lumatext-test-fallback-LpcIO.bin";
  std::ofstream(module, std::ios::binary) << "module";

  FakePawnIo not_elevated;
  not_elevated.open_result = ERROR_ACCESS_DENIED;
  WindowsPortIo refused(std::make_unique<SharedFake>(not_elevated), module, kFallback);
  EXPECT_FALSE(refused.acquire(0x295, 2));
  EXPECT_EQ(GetModuleHandleW(L"inpout_fallback.dll"), nullptr) << "the DLL was tried although PawnIO is installed";
  EXPECT_NE(TakeUserAdvice().find("als Administrator starten"), std::string::npos);

  FakePawnIo present;
  present.registers[0x29] = 45;
  WindowsPortIo pawnio(std::make_unique<SharedFake>(present), module, kFallback);
  ASSERT_TRUE(pawnio.acquire(0x295, 2));
  pawnio.out(0x295, 0x29);
  EXPECT_EQ(pawnio.in(0x296), 45);
  EXPECT_EQ(GetModuleHandleW(L"inpout_fallback.dll"), nullptr);
  std::filesystem::remove(module);
}

// The real device's answer where PawnIO is missing (as under Wine) must count as "not
// installed", or the DLL would never be tried.
TEST(WindowsPortIo, AMachineWithoutPawnIoUsesTheDll) {
  Win32PawnIoDevice probe;
  const DWORD opened = probe.open();
  if (opened == ERROR_SUCCESS || opened == ERROR_ACCESS_DENIED) GTEST_SKIP() << "PawnIO is installed here";
  WindowsPortIo machine(std::make_unique<Win32PawnIoDevice>(), ModuleBesideProgram(), kFallback);
  EXPECT_TRUE(machine.acquire(0x295, 2)) << "PawnIO's device answered " << opened;
  EXPECT_NE(GetModuleHandleW(L"inpout_fallback.dll"), nullptr);
  EXPECT_TRUE(TakeUserAdvice().empty());
}

}  // namespace
}  // namespace platform::windows
