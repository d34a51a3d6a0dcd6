#include "platform/windows/ports/windows_port_io.hpp"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/base/user_advice.hpp"
#include "sim/sim_ite8705.hpp"
#include "tests/windows/fake_pawnio.hpp"
#include "tests/windows/simulated_pawnio.hpp"
#include "tests/windows/simulated_super_io.hpp"

namespace platform::windows {
namespace {

constexpr std::array kFallback{PortIoLibrary{L"inpout_fallback.dll", "Out32", "Inp32", PortIoLibrary::Calls::kInpOut}};

TEST(WindowsPortIo, FallsBackToTheDllOnlyWherePawnIoIsNotInstalled) {
  FailingPawnIo not_elevated;
  not_elevated.open_result = ERROR_ACCESS_DENIED;
  WindowsPortIo refused(std::make_unique<SharedPawnIo>(not_elevated), LpcIoModule(), kFallback);
  EXPECT_FALSE(refused.acquire(0x295, 2));
  EXPECT_EQ(GetModuleHandleW(L"inpout_fallback.dll"), nullptr) << "the DLL was tried although PawnIO is installed";
  EXPECT_NE(TakeUserAdvice().find("als Administrator starten"), std::string::npos);

  // PawnIO with the real module in front of an ITE 8705.
  std::vector<std::string> log;
  sim::SimIte8705 monitor({45}, {60});
  SimulatedSuperIo board(SimulatedSuperIo::Chip{}, std::nullopt, monitor, log);
  SimulatedPawnIo present(board, log);
  WindowsPortIo pawnio(std::make_unique<SharedPawnIo>(present), LpcIoModule(), kFallback);
  ASSERT_TRUE(pawnio.acquire(0x295, 2));
  pawnio.out(0x295, 0x29);
  EXPECT_EQ(pawnio.in(0x296), 45);
  EXPECT_EQ(GetModuleHandleW(L"inpout_fallback.dll"), nullptr);
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
