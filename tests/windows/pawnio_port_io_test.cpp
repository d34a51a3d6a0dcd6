#include "platform/windows/pawnio_port_io.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/windows/fake_pawnio.hpp"

namespace platform::windows {
namespace {

class PawnIoTest : public ::testing::Test {
 protected:
  PawnIoTest() {
    std::ofstream(module_, std::ios::binary) << "LpcIO module bytes";
  }
  ~PawnIoTest() override { std::filesystem::remove(module_); }

  const std::filesystem::path module_ = std::filesystem::temp_directory_path() / "lumatext-test-LpcIO.bin";
  FakePawnIo device_;
  IsaBus bus_{L"Local\\lumatext-test-isabus-pawnio"};
  PawnIoPortIo ports_{device_, module_, bus_};
};

TEST_F(PawnIoTest, LoadsTheModuleAndCallsFunctionsByPaddedNameWith64BitArguments) {
  ASSERT_TRUE(ports_.acquire(0x295, 2)) << ports_.failure();
  ASSERT_GE(device_.codes.size(), 2u);
  EXPECT_EQ(device_.codes[0], 0xA1B22084u);  // CTL_CODE(41394, 0x821, METHOD_BUFFERED, FILE_ANY_ACCESS)
  EXPECT_EQ(std::string(device_.module.begin(), device_.module.end()), "LpcIO module bytes");
  EXPECT_EQ(device_.codes[1], 0xA1B22104u);  // CTL_CODE(41394, 0x841, ...)
  std::vector<std::uint8_t> select(32 + 8, 0);
  const std::string name = "ioctl_select_slot";
  std::copy(name.begin(), name.end(), select.begin());
  EXPECT_EQ(device_.inputs[1], select);

  const std::vector<std::uint8_t> outb = PawnIoCall(kPawnIo.pio_outb, std::array<std::uint64_t, 2>{0x295, 0x1'0000'0029});
  ASSERT_EQ(outb.size(), 48u);
  EXPECT_EQ(std::vector<std::uint8_t>(outb.begin() + 32, outb.end()),
            (std::vector<std::uint8_t>{0x95, 0x02, 0, 0, 0, 0, 0, 0, 0x29, 0, 0, 0, 1, 0, 0, 0}));
}

TEST_F(PawnIoTest, FindsTheIte8705OnSlot0ThenReadsRegistersThroughTheMonitorPorts) {
  device_.registers[0x29] = 45;
  device_.registers[0x0D] = 60;
  ASSERT_TRUE(ports_.acquire(0x295, 2)) << ports_.failure();
  const std::vector<std::string> sequence{
      "select_slot 0x00", "pio_outb 0x2E 0x87", "pio_outb 0x2E 0x01", "pio_outb 0x2E 0x55", "pio_outb 0x2E 0x55",
      "superio_inb 0x20", "superio_inb 0x21", "find_bars", "superio_outb 0x02 0x02",
      // The monitor's ports lie in a window: the data and address ports read without harm.
      "pio_inb 0x295", "pio_inb 0x296"};
  EXPECT_EQ(device_.calls, sequence);
  EXPECT_FALSE(device_.in_config_mode());

  device_.calls.clear();
  ports_.out(0x295, 0x29);
  EXPECT_EQ(ports_.in(0x296), 45);
  ports_.out(0x295, 0x0D);
  EXPECT_EQ(ports_.in(0x296), 60);
  EXPECT_EQ(device_.calls, (std::vector<std::string>{"pio_outb 0x295 0x29", "pio_inb 0x296", "pio_outb 0x295 0x0D",
                                                     "pio_inb 0x296"}));
}

TEST_F(PawnIoTest, TriesSlot1WithItsOwnKeyWhenSlot0HasNoIte8705) {
  device_.chips = {FakePawnIo::Chip{1, 0x8705, {0x290}}};
  ASSERT_TRUE(ports_.acquire(0x295, 2)) << ports_.failure();
  const std::vector<std::string> slot1{"select_slot 0x01", "pio_outb 0x4E 0x87", "pio_outb 0x4E 0x01",
                                       "pio_outb 0x4E 0x55", "pio_outb 0x4E 0xAA", "superio_inb 0x20",
                                       "superio_inb 0x21", "find_bars", "superio_outb 0x02 0x02"};
  const auto start = std::find(device_.calls.begin(), device_.calls.end(), "select_slot 0x01");
  ASSERT_NE(start, device_.calls.end());
  EXPECT_EQ(std::vector<std::string>(start, start + static_cast<long>(slot1.size())), slot1);
  // Nothing answered on slot 0: no leave-configuration write went there.
  EXPECT_EQ(std::count(device_.calls.begin(), start, "superio_outb 0x02 0x02"), 0);
}

TEST_F(PawnIoTest, EachFailureNamesItsCauseAndWhatToDo) {
  struct Case {
    const char* what;
    std::function<void(FakePawnIo&, std::filesystem::path&)> set_up;
    std::vector<std::string> message;
    bool absent;
  };
  const std::vector<Case> cases{
      {"not installed", [](FakePawnIo& d, auto&) { d.open_result = ERROR_FILE_NOT_FOUND; },
       {"nicht installiert", "winget install namazso.PawnIO", "LpcIO.bin"}, true},
      {"not elevated", [](FakePawnIo& d, auto&) { d.open_result = ERROR_ACCESS_DENIED; },
       {"nur Administratoren", "als Administrator starten"}, false},
      {"module missing", [](FakePawnIo&, std::filesystem::path& m) { m = m.parent_path() / "no-such-LpcIO.bin"; },
       {"no-such-LpcIO.bin fehlt", "neben lumatext.exe"}, false},
      // 577, ERROR_INVALID_IMAGE_HASH: the module's signature does not match.
      {"module refused", [](FakePawnIo& d, auto&) { d.load_result = 577; },
       {"abgelehnt", "signierte LpcIO.bin"}, false},
      {"other chip", [](FakePawnIo& d, auto&) { d.chips = {FakePawnIo::Chip{0, 0x8728, {0x290}}}; },
       {"Kein ITE 8705", "Slot 0 (Port 0x2E): Chip-ID 0x8728", "Slot 1 (Port 0x4E): keine Antwort (Chip-ID 0xFFFF)"},
       false},
      {"old module", [](FakePawnIo& d, auto&) { d.select_result = ERROR_NOT_FOUND; },
       {"kann keinen Konfigurationsport w\u00e4hlen", "ioctl_select_slot", "aktuelle LpcIO.bin"}, false},
      {"ports outside the windows", [](FakePawnIo& d, auto&) { d.chips = {FakePawnIo::Chip{0, 0x8705, {0xA00}}}; },
       {"Port 0x295", "au\u00dferhalb der Portfenster"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePawnIo device;
    std::filesystem::path module = module_;
    c.set_up(device, module);
    PawnIoPortIo ports(device, module, bus_);
    EXPECT_FALSE(ports.acquire(0x295, 2));
    for (const std::string& part : c.message) EXPECT_NE(ports.failure().find(part), std::string::npos) << ports.failure();
    EXPECT_EQ(ports.absent(), c.absent);
    // Without access nothing reaches the chip.
    device.calls.clear();
    ports.out(0x295, 0x29);
    EXPECT_EQ(ports.in(0x296), 0xFF);
    EXPECT_TRUE(device.calls.empty());
  }
}

}  // namespace
}  // namespace platform::windows
