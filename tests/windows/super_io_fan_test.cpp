#include "platform/windows/sensors/super_io_fan.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/hex_text.hpp"
#include "sim/sim_ite8705.hpp"
#include "tests/windows/simulated_pawnio.hpp"
#include "tests/windows/simulated_super_io.hpp"

namespace platform::windows {
namespace {

using Chip = SimulatedSuperIo::Chip;

// The board's ports as LpcIO reaches them, noting each access made while the ISA bus
// was free: another program, asking on its own thread and handle, could have taken it.
class BusWatch final : public PortBus {
 public:
  BusWatch(PortBus& ports, const wchar_t* bus_name) : ports_(ports), thread_([this, bus_name] { watch(bus_name); }) {
    WaitForSingleObject(answered_, INFINITE);
  }
  ~BusWatch() override {
    stop_ = true;
    SetEvent(ask_);
    thread_.join();
    CloseHandle(ask_);
    CloseHandle(answered_);
  }

  std::uint8_t in(std::uint16_t port) override {
    note(Hex(port, 2) + "->");
    return ports_.in(port);
  }
  void out(std::uint16_t port, std::uint8_t value) override {
    note(Hex(port, 2) + "<-" + Hex(value, 2));
    ports_.out(port, value);
  }

  // Whether another program could take the bus now.
  bool bus_free() {
    SetEvent(ask_);
    WaitForSingleObject(answered_, INFINITE);
    return free_;
  }

  int accesses = 0;
  std::vector<std::string> unheld;

 private:
  void note(std::string access) {
    ++accesses;
    if (bus_free()) unheld.push_back(std::move(access));
  }

  void watch(const wchar_t* bus_name) {
    HANDLE bus = CreateMutexW(nullptr, FALSE, bus_name);
    SetEvent(answered_);
    while (WaitForSingleObject(ask_, INFINITE) == WAIT_OBJECT_0 && !stop_) {
      const DWORD waited = WaitForSingleObject(bus, 0);
      free_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
      if (free_) ReleaseMutex(bus);
      SetEvent(answered_);
    }
    CloseHandle(bus);
  }

  PortBus& ports_;
  HANDLE ask_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE answered_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> free_ = false;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

// A board with PawnIO, the real LpcIO module loaded, and the fans under test. `bus_name`
// is the test's own ISA bus.
struct Board {
  Board(std::optional<Chip> slot0, std::optional<Chip> slot1, const wchar_t* bus_name)
      : super_io(slot0, slot1, ite, log), watch(super_io, bus_name), bus(bus_name) {
    EXPECT_EQ(device.open(), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(PawnIoLoad(device, LpcIoModule()), DWORD{ERROR_SUCCESS});
  }

  std::vector<std::string> log;  // module calls and, between them, the port accesses the chips saw
  sim::SimIte8705 ite{{45}, {60}};
  SimulatedSuperIo super_io;
  BusWatch watch;
  SimulatedPawnIo device{watch, log};
  IsaBus bus;
  SuperIoFans fans{device, bus};
};

// "fan2 CPUFANIN 1234 rpm nct6798:fan2" for each fan input.
std::vector<std::string> Fans(const HwmonDevice& device) {
  std::vector<std::string> fans;
  for (const HwmonInput& fan : device.fans) {
    fans.push_back("fan" + std::to_string(fan.index) + " " + fan.label + " " + std::to_string(fan.value) + " rpm " +
                   fan.path);
  }
  return fans;
}

bool Logged(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

TEST(SuperIoFans, FindsTheNct6798OnSlot0WithItsFansAndTheCpuFanHeaderAndLeavesItAsItWas) {
  Chip nct6798 = SimulatedSuperIo::Nct6798();
  // Counts of 2000 and 1234 rpm, no fan (0), a fan whose count ran out of range (every
  // bit set), 1000 and 500 rpm.
  nct6798.fans = {675, 1094, 0, 0x1FFF, 1350, 2700, 0};
  Board board(nct6798, std::nullopt, L"Local\\lumatext-test-superio-nct6798");
  board.super_io.set_bank(0, 2);
  const SimulatedSuperIo::ChipState before = board.super_io.state(0);

  const std::optional<HwmonDevice> found = board.fans.find();
  ASSERT_TRUE(found) << board.fans.why();
  EXPECT_EQ(found->name, "nct6798");
  EXPECT_EQ(found->folder, "Slot 0, 0x290");
  EXPECT_EQ(Fans(*found),
            (std::vector<std::string>{"fan1  2000 rpm nct6798:fan1", "fan2 CPUFANIN 1234 rpm nct6798:fan2",
                                      "fan3  0 rpm nct6798:fan3", "fan4  0 rpm nct6798:fan4",
                                      "fan5  1000 rpm nct6798:fan5", "fan6  500 rpm nct6798:fan6"}));
  EXPECT_EQ(board.fans.why(), "");
  EXPECT_EQ(board.fans.rpm(2), 1234);

  // Out of configuration mode, the logical device and the monitor's bank as they were.
  EXPECT_FALSE(board.super_io.state(0).configuring);
  EXPECT_TRUE(board.super_io.state(0) == before) << "the chip was left changed";
  // The monitor's ports only once LpcIO had opened their window; slot 1 never asked.
  const auto bars = std::find(board.log.begin(), board.log.end(), "ioctl_find_bars") - board.log.begin();
  const auto first_read = std::find(board.log.begin(), board.log.end(), "0x295<-0x4E") - board.log.begin();
  EXPECT_LT(bars, first_read);
  EXPECT_LT(first_read, std::ssize(board.log));
  EXPECT_FALSE(Logged(board.log, "ioctl_select_slot 0x01"));
}

TEST(SuperIoFans, FindsTheF71882fgOnSlot1BehindAnIteChipThatIgnoresItsKey) {
  Chip f71882fg = SimulatedSuperIo::F71882fg();
  // The base with the address port's offset in it, as some Fintek chips give it.
  f71882fg.monitor = 0x295;
  // 1200 rpm, a stopped fan (the counter stops at 366 rpm), no fan, 2500 rpm.
  f71882fg.fans = {1250, 0x0FFF, 0, 600};
  Board board(Chip{}, f71882fg, L"Local\\lumatext-test-superio-f71882fg");
  const SimulatedSuperIo::ChipState ite = board.super_io.state(0);
  const SimulatedSuperIo::ChipState fintek = board.super_io.state(1);

  const std::optional<HwmonDevice> found = board.fans.find();
  ASSERT_TRUE(found) << board.fans.why();
  EXPECT_EQ(found->name, "f71882fg");
  EXPECT_EQ(found->folder, "Slot 1, 0x290");
  EXPECT_EQ(Fans(*found), (std::vector<std::string>{"fan1  1200 rpm f71882fg:fan1", "fan2  0 rpm f71882fg:fan2",
                                                    "fan3  0 rpm f71882fg:fan3", "fan4  2500 rpm f71882fg:fan4"}));
  EXPECT_TRUE(board.super_io.state(0) == ite) << "the ITE chip was changed";
  EXPECT_FALSE(board.super_io.state(1).configuring);
  EXPECT_TRUE(board.super_io.state(1) == fintek) << "the Fintek chip was left changed";
}

TEST(SuperIoFans, ReadsEachFanAnewAndGivesStoppedFansAsZero) {
  Board board(SimulatedSuperIo::Nct6798(), SimulatedSuperIo::F71882fg(), L"Local\\lumatext-test-superio-anew");
  ASSERT_TRUE(board.fans.find()) << board.fans.why();
  struct Row {
    std::uint16_t count;
    std::int64_t rpm;
  };
  for (const Row row : {Row{1094, 1234}, Row{0x1FFF, 0}, Row{0, 0}, Row{675, 2000}}) {
    board.super_io.set_fan_count(0, 2, row.count);
    EXPECT_EQ(board.fans.rpm(2), row.rpm) << "count " << row.count;
  }
  // Fan inputs the chip lacks.
  EXPECT_EQ(board.fans.rpm(0), std::nullopt);
  EXPECT_EQ(board.fans.rpm(7), std::nullopt);
}

TEST(SuperIoFans, ReadsOneFanWithTheseAccessesAndGivesTheBankBack) {
  Chip nct6798 = SimulatedSuperIo::Nct6798();
  nct6798.fans[1] = 1094;
  Board board(nct6798, std::nullopt, L"Local\\lumatext-test-superio-accesses");
  board.super_io.set_bank(0, 2);
  ASSERT_TRUE(board.fans.find()) << board.fans.why();
  board.log.clear();

  EXPECT_EQ(board.fans.rpm(2), 1234);
  const std::vector<std::string> seen{
      "ioctl_pio_outb 0x295 0x4E", "0x295<-0x4E", "ioctl_pio_inb 0x296",       "0x296->0x02",
      "ioctl_pio_outb 0x295 0x4E", "0x295<-0x4E", "ioctl_pio_outb 0x296 0x04", "0x296<-0x04",
      "ioctl_pio_outb 0x295 0xB2", "0x295<-0xB2", "ioctl_pio_inb 0x296",       "0x296->0x22",
      "ioctl_pio_outb 0x295 0xB3", "0x295<-0xB3", "ioctl_pio_inb 0x296",       "0x296->0x06",
      "ioctl_pio_outb 0x295 0x4E", "0x295<-0x4E", "ioctl_pio_outb 0x296 0x02", "0x296<-0x02"};
  EXPECT_EQ(board.log, seen);
}

TEST(SuperIoFans, HoldsTheIsaBusAroundEveryAccessAndLetsItGo) {
  Board board(Chip{}, SimulatedSuperIo::Nct6798(), L"Local\\lumatext-test-superio-bus");
  ASSERT_TRUE(board.fans.find()) << board.fans.why();
  EXPECT_TRUE(board.fans.rpm(2).has_value());
  // Two slots' configuration sequences, LpcIO's walks of the logical devices, six fans
  // read and fan2 once more: the check saw them all.
  EXPECT_GT(board.watch.accesses, 1000);
  EXPECT_EQ(board.watch.unheld, std::vector<std::string>{});
  EXPECT_TRUE(board.watch.bus_free());
}

TEST(SuperIoFans, NamesWhatEachSlotAnsweredWhereNoChipHasFanCounts) {
  Chip nct6776 = SimulatedSuperIo::Nct6798();
  nct6776.id = 0xC333;
  Chip switched_off = SimulatedSuperIo::Nct6798();
  switched_off.monitor_active = false;
  Chip other_fintek = SimulatedSuperIo::F71882fg();
  other_fintek.id = 0x1234;
  // An ITE chip a previous reader left in configuration mode answers whatever key it is sent.
  const Chip configuring_ite{0x8705, 0x290, false, true};
  struct Row {
    std::optional<Chip> slot0;
    std::optional<Chip> slot1;
    std::string why;
  };
  const std::string none = "Kein Nuvoton-Chip ab NCT6779D und kein Fintek-Chip mit L\u00fcfterz\u00e4hlern gefunden. ";
  const Row rows[] = {
      {nct6776, std::nullopt,
       none + "Slot 0 (Port 0x2E): Chip-ID 0xC333 ist weder ein Nuvoton-Chip ab NCT6779D noch ein Fintek-Chip; "
              "Slot 1 (Port 0x4E): keine Antwort (Chip-ID 0xFFFF)."},
      {switched_off, configuring_ite,
       none + "Slot 0 (Port 0x2E): nct6798 (Chip-ID 0xD42B): sein Systemmonitor (logisches Ger\u00e4t 0x0B) ist "
              "abgeschaltet; Slot 1 (Port 0x4E): Chip-ID 0x8705 ist weder ein Nuvoton-Chip ab NCT6779D noch ein "
              "Fintek-Chip."},
      {Chip{}, other_fintek,
       none + "Slot 0 (Port 0x2E): keine Antwort (Chip-ID 0xFFFF); Slot 1 (Port 0x4E): Chip-ID 0x1234 ist ein "
              "Fintek-Chip ohne bekannten Systemmonitor."},
  };
  for (const Row& row : rows) {
    Board board(row.slot0, row.slot1, L"Local\\lumatext-test-superio-none");
    EXPECT_EQ(board.fans.find(), std::nullopt);
    EXPECT_EQ(board.fans.why(), row.why);
    EXPECT_EQ(board.fans.rpm(2), std::nullopt);
    // The keyed chips left configuration mode again; the ITE chip stays as it was found.
    for (unsigned slot = 0; slot < 2; ++slot) {
      const std::optional<Chip>& chip = slot == 0 ? row.slot0 : row.slot1;
      if (chip) {
        EXPECT_EQ(board.super_io.state(slot).configuring, chip->configuring) << "slot " << slot << ": " << row.why;
      }
    }
    EXPECT_FALSE(Logged(board.log, "ioctl_find_bars")) << row.why;
  }
}

TEST(SuperIoFans, GivesNoReadingOnceAnotherSelectSlotClosedTheWindowsUntilFoundAgain) {
  Board board(SimulatedSuperIo::Nct6798(), std::nullopt, L"Local\\lumatext-test-superio-closed");
  EXPECT_EQ(board.fans.rpm(2), std::nullopt) << "a reading before find";
  ASSERT_TRUE(board.fans.find()) << board.fans.why();
  // The port access for the ITE monitor selects a slot on the same device.
  const std::array<std::uint64_t, 1> slot{0};
  ASSERT_EQ(PawnIoExecute(board.device, kPawnIo.select_slot, slot), DWORD{ERROR_SUCCESS});
  board.log.clear();

  EXPECT_EQ(board.fans.rpm(2), std::nullopt);
  EXPECT_FALSE(std::any_of(board.log.begin(), board.log.end(), [](const std::string& line) {
    return line.rfind("0x295", 0) == 0 || line.rfind("0x296", 0) == 0;
  })) << "a port outside LpcIO's windows was reached";
  ASSERT_TRUE(board.fans.find()) << board.fans.why();
  EXPECT_EQ(board.fans.rpm(2), 0);
}

}  // namespace
}  // namespace platform::windows
