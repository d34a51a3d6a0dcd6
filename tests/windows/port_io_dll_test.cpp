#include "platform/windows/ports/port_io_dll.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "platform/windows/base/library_symbol.hpp"

namespace platform::windows {
namespace {

using PortIoLibraryCalls = PortIoLibrary::Calls;

// The test DLL's own controls, from the copy the port I/O code has loaded.
struct FakeDll {
  using SetIn = void (*)(int, int);
  using SetDriverOpen = void (*)(BOOL);
  using LastOut = int (*)(int*, int*);

  FakeDll() {
    module = LoadLibraryW(L"fake_port_io.dll");
    set_in = Get<SetIn>("FakeSetIn");
    set_driver_open = Get<SetDriverOpen>("FakeSetDriverOpen");
    last_out = Get<LastOut>("FakeLastOut");
    set_driver_open(TRUE);
  }
  ~FakeDll() { FreeLibrary(module); }

  template <typename F>
  F Get(const char* name) {
    return Symbol<F>(module, name);
  }

  HMODULE module;
  SetIn set_in;
  SetDriverOpen set_driver_open;
  LastOut last_out;
};

constexpr PortIoLibrary kIoDll{L"fake_port_io.dll", "PortOut", "PortIn", PortIoLibraryCalls::kIoDll};
constexpr PortIoLibrary kInpOut{L"fake_port_io.dll", "Out32", "Inp32", PortIoLibraryCalls::kInpOut};

TEST(PortIoDll, FailsCleanlyAndNamesEveryDllWhenNoneLoads) {
  constexpr std::array candidates{
      PortIoLibrary{L"no-such-port-io.dll", "PortOut", "PortIn", PortIoLibraryCalls::kIoDll},
      PortIoLibrary{L"inpout-missing.dll", "Out32", "Inp32", PortIoLibraryCalls::kInpOut},
  };
  PortIoDll ports(candidates);
  EXPECT_FALSE(ports.acquire(0x295, 2));
  EXPECT_NE(ports.failure().find("no-such-port-io.dll"), std::string::npos) << ports.failure();
  EXPECT_NE(ports.failure().find("inpout-missing.dll"), std::string::npos) << ports.failure();
  // Without a DLL, reads give the idle bus value and writes go nowhere.
  EXPECT_EQ(ports.in(0x296), 0xFF);
}

TEST(PortIoDll, NamesTheMissingSymbolAndTriesTheNextDll) {
  FakeDll fake;
  constexpr std::array missing_in{
      PortIoLibrary{L"fake_port_io.dll", "PortOut", "PortInByte", PortIoLibraryCalls::kIoDll}};
  PortIoDll broken(missing_in);
  EXPECT_FALSE(broken.acquire(0x295, 2));
  EXPECT_NE(broken.failure().find("kein Symbol PortInByte"), std::string::npos) << broken.failure();

  constexpr std::array missing_out_then_good{
      PortIoLibrary{L"fake_port_io.dll", "Output32", "Inp32", PortIoLibraryCalls::kInpOut}, kInpOut};
  PortIoDll ports(missing_out_then_good);
  EXPECT_TRUE(ports.acquire(0x295, 2));
  EXPECT_TRUE(ports.failure().empty());
}

TEST(PortIoDll, RefusesInpOutWhoseDriverIsNotRunning) {
  FakeDll fake;
  fake.set_driver_open(FALSE);
  constexpr std::array candidates{kInpOut};
  PortIoDll ports(candidates);
  EXPECT_FALSE(ports.acquire(0x295, 2));
  EXPECT_NE(ports.failure().find("Treiber"), std::string::npos) << ports.failure();
}

// Ports above 0x7FFF and bytes above 0x7F cross the DLLs' signed parameters intact.
TEST(PortIoDll, PassesPortsAndBytesUnsignedThroughBothCallingForms) {
  FakeDll fake;
  for (const PortIoLibrary& library : {kIoDll, kInpOut}) {
    SCOPED_TRACE(library.out_symbol);
    const std::array candidates{library};
    PortIoDll ports(candidates);
    ASSERT_TRUE(ports.acquire(0x295, 2)) << ports.failure();

    int port = 0;
    int value = 0;
    const int before = fake.last_out(&port, &value);
    ports.out(0x295, 0x29);
    EXPECT_EQ(fake.last_out(&port, &value), before + 1);
    EXPECT_EQ(port, 0x295);
    EXPECT_EQ(value, 0x29);
    ports.out(0xC000, 0xF0);
    fake.last_out(&port, &value);
    EXPECT_EQ(port, 0xC000);
    EXPECT_EQ(value, 0xF0);

    fake.set_in(0x296, 0xC8);
    EXPECT_EQ(ports.in(0x296), 0xC8);
    fake.set_in(0x296, 0x00);
    EXPECT_EQ(ports.in(0x296), 0x00);
  }
  // inpout reads 16 bits; the program takes the low byte.
  const std::array candidates{kInpOut};
  PortIoDll ports(candidates);
  ASSERT_TRUE(ports.acquire(0x295, 2));
  fake.set_in(0x296, 0x1FF);
  EXPECT_EQ(ports.in(0x296), 0xFF);
}

// A DLL of that name in the current folder, or on PATH, must not be loaded: the
// driver's first start runs with administrator rights.
TEST(PortIoDll, LoadsOnlyFromTheProgramsFolderOrSystem32) {
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "lumatext-planted";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(std::filesystem::path(program).parent_path() / "fake_port_io.dll",
                             folder / "planted_port_io.dll", std::filesystem::copy_options::overwrite_existing);
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  SetCurrentDirectoryW(folder.c_str());
  std::wstring path(32767, L'\0');
  path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
  SetEnvironmentVariableW(L"PATH", (folder.wstring() + L";" + path).c_str());

  constexpr std::array planted{PortIoLibrary{L"planted_port_io.dll", "Out32", "Inp32", PortIoLibraryCalls::kInpOut}};
  PortIoDll ports(planted);
  const bool loaded = ports.acquire(0x295, 2);
  // Where LoadLibraryEx lacks the search flags (Windows 7 without KB2533623): by full path.
  HMODULE by_path = LoadFromProgramFolderOrSystem32(L"planted_port_io.dll", false);
  const DWORD by_path_error = GetLastError();

  SetEnvironmentVariableW(L"PATH", path.c_str());
  SetCurrentDirectoryW(previous);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(by_path, nullptr);
  EXPECT_EQ(by_path_error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleW(L"planted_port_io.dll"), nullptr);
  // The same file beside the program loads, either way.
  PortIoDll beside(std::array{kInpOut});
  EXPECT_TRUE(beside.acquire(0x295, 2)) << beside.failure();
  HMODULE beside_by_path = LoadFromProgramFolderOrSystem32(L"fake_port_io.dll", false);
  EXPECT_NE(beside_by_path, nullptr);
  if (beside_by_path != nullptr) FreeLibrary(beside_by_path);
}

TEST(PortIoDll, SixtyFourBitBuildsTryInpOutX64) {
  const auto libraries = DefaultPortIoLibraries();
  ASSERT_FALSE(libraries.empty());
#if defined(_WIN64)
  EXPECT_EQ(std::wstring(libraries.front().file), L"inpoutx64.dll");
  EXPECT_EQ(std::string(libraries.front().out_symbol), "Out32");
#else
  EXPECT_EQ(std::wstring(libraries.front().file), L"IO.DLL");
  EXPECT_EQ(std::string(libraries.front().out_symbol), "PortOut");
#endif
}

}  // namespace
}  // namespace platform::windows
