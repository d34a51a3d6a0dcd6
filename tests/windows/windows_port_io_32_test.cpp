#include "platform/windows/ports/windows_port_io_32.hpp"

#include <gtest/gtest.h>

#include <array>

#include "platform/windows/base/library_symbol.hpp"
#include "platform/windows/base/user_advice.hpp"

namespace platform::windows {
namespace {

using Calls = PortIoLibrary::Calls;

// IO.DLL missing, inpout32 (the test DLL under another name) beside the program.
constexpr std::array kIoDllMissing{
    PortIoLibrary{L"IO-missing.DLL", "PortOut", "PortIn", Calls::kIoDll},
    PortIoLibrary{L"inpout_fallback.dll", "Out32", "Inp32", Calls::kInpOut},
};

TEST(WindowsPortIo32, TakesTheNextDllAndTellsWhichAndWhyNotTheFirst) {
  WindowsPortIo ports(kIoDllMissing);
  ASSERT_TRUE(ports.acquire(0x295, 2)) << ports.dll().failure();
  ASSERT_NE(ports.dll().loaded(), nullptr);
  EXPECT_EQ(std::wstring(ports.dll().loaded()->file), L"inpout_fallback.dll");
  ASSERT_EQ(ports.dll().attempts().size(), 2U);
  EXPECT_EQ(ports.dll().attempts()[0].file, "IO-missing.DLL");
  EXPECT_NE(ports.dll().attempts()[0].failure.find("IO-missing.DLL"), std::string::npos);
  EXPECT_TRUE(ports.dll().attempts()[1].failure.empty());
  EXPECT_TRUE(TakeUserAdvice().empty());
  // A register read reaches the DLL that was loaded.
  HMODULE dll = GetModuleHandleW(L"inpout_fallback.dll");
  ASSERT_NE(dll, nullptr);
  const auto set_in = Symbol<void (*)(int, int)>(dll, "FakeSetIn");
  const auto last_out = Symbol<int (*)(int*, int*)>(dll, "FakeLastOut");
  set_in(0x296, 0xC8);
  ports.out(0x295, 0x29);
  int port = 0;
  int value = 0;
  last_out(&port, &value);
  EXPECT_EQ(port, 0x295);
  EXPECT_EQ(value, 0x29);
  EXPECT_EQ(ports.in(0x296), 0xC8);
}

TEST(WindowsPortIo32, WithoutAnyDllAdvisesTheUserWithEveryReason) {
  constexpr std::array none{
      PortIoLibrary{L"IO-missing.DLL", "PortOut", "PortIn", Calls::kIoDll},
      PortIoLibrary{L"inpout-missing.dll", "Out32", "Inp32", Calls::kInpOut},
  };
  WindowsPortIo ports(none);
  EXPECT_FALSE(ports.acquire(0x295, 2));
  EXPECT_EQ(ports.dll().loaded(), nullptr);
  const std::string advice = TakeUserAdvice();
  EXPECT_NE(advice.find("IO.DLL oder inpout32.dll"), std::string::npos) << advice;
  EXPECT_NE(advice.find("IO-missing.DLL"), std::string::npos) << advice;
  EXPECT_NE(advice.find("inpout-missing.dll"), std::string::npos) << advice;
  EXPECT_EQ(ports.in(0x296), 0xFF);
}

// The 32-bit program is specified against IO.DLL: it comes first, inpout32 after it.
TEST(WindowsPortIo32, TriesIoDllFirstThenInpOut32) {
  const auto libraries = DefaultPortIoLibraries();
  ASSERT_EQ(libraries.size(), 2U);
  EXPECT_EQ(std::wstring(libraries[0].file), L"IO.DLL");
  EXPECT_EQ(libraries[0].calls, Calls::kIoDll);
  EXPECT_EQ(std::wstring(libraries[1].file), L"inpout32.dll");
  EXPECT_EQ(libraries[1].calls, Calls::kInpOut);
}

}  // namespace
}  // namespace platform::windows
