#include "platform/windows/ports/pawnio_port_io.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/sensor_readings.hpp"
#include "sim/sim_clock.hpp"
#include "sim/sim_iowarrior.hpp"
#include "sim/sim_ite8705.hpp"
#include "tests/windows/fake_pawnio.hpp"
#include "tests/windows/simulated_pawnio.hpp"
#include "tests/windows/simulated_super_io.hpp"

namespace platform::windows {
namespace {

using Chip = SimulatedSuperIo::Chip;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A board with PawnIO and the real LpcIO module, its environment controller reading
// 45 degrees and a fan count of 60, and the port I/O under test.
struct Board {
  explicit Board(std::optional<Chip> slot0, std::optional<Chip> slot1 = std::nullopt,
                 std::filesystem::path module = LpcIoModule())
      : super_io(slot0, slot1, monitor, log), ports(device, std::move(module), bus) {}

  // The sign's two texts, read through the port I/O as the measurement cycle reads them.
  std::array<std::string, 2> texts() {
    sim::SimClock clock(0);
    sim::SimIoWarrior kit(clock);
    iow::OutsideLibraries lib(kit, ports, clock);
    WindowState w;
    monitor::ReadTemperatureText(w, lib);
    const std::string temperature = w.DisplayText;
    monitor::ReadFanSpeedText(w, lib);
    return {temperature, w.DisplayText};
  }

  // Whether any port access reached one of `ports`.
  bool touched(std::initializer_list<std::string> port_names) const {
    return std::any_of(log.begin(), log.end(), [&](const std::string& line) {
      return std::any_of(port_names.begin(), port_names.end(), [&](const std::string& port) {
        return line.rfind(port + "<-", 0) == 0 || line.rfind(port + "->", 0) == 0;
      });
    });
  }

  std::vector<std::string> log;  // module calls and, between them, the port accesses the chips saw
  sim::SimIte8705 monitor{{45}, {60}};
  SimulatedSuperIo super_io;
  SimulatedPawnIo device{super_io, log};
  IsaBus bus{L"Local\\lumatext-test-isabus-pawnio"};
  PawnIoPortIo ports;
};

// `log` with the configuration port accesses of each find_bars (some thousands: LpcIO
// walks 255 logical devices twice) as one line.
std::vector<std::string> Collapsed(const std::vector<std::string>& log) {
  std::vector<std::string> collapsed;
  for (std::size_t i = 0; i < log.size(); ++i) {
    collapsed.push_back(log[i]);
    if (log[i] != "ioctl_find_bars") continue;
    std::size_t end = i + 1;
    while (end < log.size() && log[end].rfind("ioctl_", 0) != 0) ++end;
    const bool config_only = std::all_of(log.begin() + static_cast<long>(i) + 1, log.begin() + static_cast<long>(end),
                                         [](const std::string& line) {
                                           return line.rfind("0x2E", 0) == 0 || line.rfind("0x2F", 0) == 0 ||
                                                  line.rfind("0x4E", 0) == 0 || line.rfind("0x4F", 0) == 0;
                                         });
    collapsed.push_back(config_only && end - i > 1000 ? "(logical devices walked)" : "(other accesses)");
    i = end - 1;
  }
  return collapsed;
}

TEST(PawnIoWithLpcIo, ReadsTheIte8705OnSlot0AsTheSignShowsIt) {
  Board board(Chip{});
  ASSERT_TRUE(board.ports.acquire(0x295, 2)) << board.ports.failure();
  ASSERT_EQ(board.ports.slots().size(), 1u);
  EXPECT_EQ(board.ports.slots()[0].slot, 0u);
  EXPECT_EQ(board.ports.slots()[0].chip_id, 0x8705);
  EXPECT_EQ(board.ports.slots()[0].outcome, "");
  EXPECT_EQ(board.texts(), (std::array<std::string, 2>{"CPU Temperatur : 45'C", "CPU Luefterdrehzahl : 2812 rpm"}));

  const std::vector<std::string> seen{
      "ioctl_select_slot 0x00",
      "ioctl_pio_outb 0x2E 0x87", "0x2E<-0x87", "ioctl_pio_outb 0x2E 0x01", "0x2E<-0x01",
      "ioctl_pio_outb 0x2E 0x55", "0x2E<-0x55", "ioctl_pio_outb 0x2E 0x55", "0x2E<-0x55",
      "ioctl_superio_inb 0x20", "0x2E<-0x20", "0x2F->0x87",
      "ioctl_superio_inb 0x21", "0x2E<-0x21", "0x2F->0x05",
      "ioctl_find_bars", "(logical devices walked)",
      "ioctl_superio_outb 0x02 0x02", "0x2E<-0x02", "0x2F<-0x02",
      // The window check: the address port only, which reads without effect.
      "ioctl_pio_inb 0x295", "0x295->0xFF",
      "ioctl_pio_outb 0x295 0x29", "0x295<-0x29", "ioctl_pio_inb 0x296", "0x296->0x2D",
      "ioctl_pio_outb 0x295 0x0D", "0x295<-0x0D", "ioctl_pio_inb 0x296", "0x296->0x3C"};
  EXPECT_EQ(Collapsed(board.log), seen);
  EXPECT_FALSE(board.super_io.state(0).configuring);
  // LpcIO read the base registers twice, a millisecond apart, and opened the windows.
  EXPECT_EQ(board.device.slept, std::chrono::microseconds(1000));
  EXPECT_NE(std::find(board.device.debug.begin(), board.device.debug.end(), "LpcIO: Added 290 as BAR\n"),
            board.device.debug.end());
}

TEST(PawnIoWithLpcIo, TakesARegisterCompatibleIteChipAndNamesIt) {
  Board board(Chip{0x8712});
  testing::internal::CaptureStderr();
  const bool acquired = board.ports.acquire(0x295, 2);
  const std::string diagnostics = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(acquired) << board.ports.failure();
  EXPECT_EQ(board.ports.slots()[0].chip_id, 0x8712);
  EXPECT_TRUE(Contains(diagnostics, "IT8712F (Chip-ID 0x8712) an Slot 0 (Port 0x2E)")) << diagnostics;
  EXPECT_EQ(board.texts()[0], "CPU Temperatur : 45'C");
}

TEST(PawnIoWithLpcIo, ReadsALaterChipsFanTheWayItCountsWithTheRevisionFromItsConfigurationSpace) {
  struct Row {
    const char* mode;
    std::uint8_t divisors;     // register 0x0B
    std::uint8_t sixteen_bit;  // register 0x0C
    std::uint16_t count;
    const char* text;
    std::vector<std::string> reading;  // the fan reading's port accesses
  };
  const Row rows[] = {
      {"16 bit", 0x09, 0x07, 225, "CPU Luefterdrehzahl : 3000 rpm",
       {"0x295<-0x0C", "0x296->0x07", "0x295<-0x0D", "0x296->0xE1", "0x295<-0x18", "0x296->0x00"}},
      {"8 bit, divisor 2", 0x09, 0x00, 60, "CPU Luefterdrehzahl : 11250 rpm",
       {"0x295<-0x0C", "0x296->0x00", "0x295<-0x0B", "0x296->0x09", "0x295<-0x0D", "0x296->0x3C"}},
  };
  for (const Row& row : rows) {
    Chip it8712;
    it8712.id = 0x8712;
    it8712.revision = 0x08;
    Board board(it8712);
    board.monitor = sim::SimIte8705({45}, {row.count});
    board.monitor.set_fan_registers(row.divisors, row.sixteen_bit);
    board.monitor.set_chip({0x8712, 0x08});
    board.monitor.acquire(0x295, 2);
    ASSERT_TRUE(board.ports.acquire(0x295, 2)) << board.ports.failure();
    EXPECT_EQ(board.ports.slots()[0].revision, 0x08);
    EXPECT_EQ(board.ports.chip().id, 0x8712);
    EXPECT_EQ(board.ports.chip().revision, 0x08);
    const auto read_config = std::find(board.log.begin(), board.log.end(), "ioctl_superio_inb 0x22");
    EXPECT_NE(read_config, board.log.end()) << "the revision is read from configuration register 0x22";
    board.log.clear();
    EXPECT_EQ(board.texts(), (std::array<std::string, 2>{"CPU Temperatur : 45'C", row.text})) << row.mode;
    std::vector<std::string> ports;
    for (const std::string& line : board.log) {
      if (line.rfind("0x29", 0) == 0) ports.push_back(line);
    }
    ASSERT_GE(ports.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(ports.begin() + 2, ports.end()), row.reading) << row.mode;
  }
}

TEST(PawnIoWithLpcIo, FindsTheIte8705OnSlot1BehindAnotherMakersChipAndLeavesBothAsTheyWere) {
  // A Nuvoton NCT6791D that firmware left in configuration mode.
  Board board(Chip{0xC803, 0, true, true}, Chip{});
  const SimulatedSuperIo::ChipState nuvoton = board.super_io.state(0);
  ASSERT_TRUE(board.ports.acquire(0x295, 2)) << board.ports.failure();

  const auto& slots = board.ports.slots();
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[0].chip_id, 0xC803);
  EXPECT_EQ(slots[0].outcome,
            "Chip-ID 0xC803 ist kein ITE-Chip; seine Register 0x29 und 0x0D bedeuten etwas anderes als beim ITE 8705");
  EXPECT_EQ(slots[1].slot, 1u);
  EXPECT_EQ(slots[1].chip_id, 0x8705);
  EXPECT_EQ(slots[1].outcome, "");
  EXPECT_TRUE(board.super_io.state(0) == nuvoton) << "the other maker's chip was changed";
  EXPECT_TRUE(board.super_io.state(1).configuring) << "configuration mode was left on 0x4E";
  const auto slot1 = std::find(board.log.begin(), board.log.end(), "ioctl_select_slot 0x01");
  ASSERT_NE(slot1, board.log.end());
  EXPECT_TRUE(std::find(slot1, board.log.end(), "0x4E<-0x02") == board.log.end())
      << "register 0x02 was written on 0x4E";
  EXPECT_EQ(std::count(slot1, board.log.end(), "0x4E<-0xAA"), 1);  // the last byte of slot 1's key
  EXPECT_EQ(board.texts()[0], "CPU Temperatur : 45'C");
}

TEST(PawnIoWithLpcIo, RefusesAMonitorOutsideTheChipsWindowsWithoutReadingARegister) {
  Board board(Chip{0x8705, 0xA40});
  EXPECT_FALSE(board.ports.acquire(0x295, 2));
  EXPECT_EQ(board.ports.failure(),
            "Kein nutzbarer ITE-Chip gefunden. Slot 0 (Port 0x2E): IT8705F (Chip-ID 0x8705): Port 0x295 liegt "
            "au\u00dferhalb der Portfenster, die LpcIO f\u00fcr ihn \u00f6ffnet: sein Systemmonitor liegt nicht bei "
            "0x290; Slot 1 (Port 0x4E): keine Antwort (Chip-ID 0xFFFF).");
  EXPECT_FALSE(board.super_io.state(0).configuring);
  board.ports.out(0x295, 0x29);
  EXPECT_EQ(board.ports.in(0x296), 0xFF);
  EXPECT_FALSE(board.touched({"0x295", "0x296", "0xA45", "0xA46"}));
  EXPECT_EQ(board.monitor.temperature_reads() + board.monitor.fan_count_reads(), 0);
}

TEST(PawnIoWithLpcIo, ReportsEachEmptySlot) {
  Board board(std::nullopt);
  EXPECT_FALSE(board.ports.acquire(0x295, 2));
  EXPECT_EQ(board.ports.failure(),
            "Kein nutzbarer ITE-Chip gefunden. Slot 0 (Port 0x2E): keine Antwort (Chip-ID 0xFFFF); Slot 1 (Port 0x4E): "
            "keine Antwort (Chip-ID 0xFFFF).");
  ASSERT_EQ(board.ports.slots().size(), 2u);
  EXPECT_EQ(board.ports.slots()[1].chip_id, 0xFFFF);
  EXPECT_EQ(std::count(board.log.begin(), board.log.end(), "ioctl_find_bars"), 0);
  EXPECT_EQ(std::count_if(board.log.begin(), board.log.end(),
                          [](const std::string& line) { return line.rfind("ioctl_superio_outb", 0) == 0; }),
            0);
}

// The signed module with one change, as a file of its own.
std::filesystem::path Altered(const std::string& name, const std::function<void(std::vector<std::uint8_t>&)>& change) {
  std::vector<std::uint8_t> bytes = ReadBytes(LpcIoModule());
  change(bytes);
  return WriteTemporary("lumatext-test-" + name + ".bin", bytes);
}

constexpr std::size_t kImage = 4 + 512;  // the AMX image follows the length and the signature

TEST(PawnIoWithLpcIo, RefusesADamagedModuleAndSaysWhereTheRightOneIs) {
  ASSERT_EQ(ReadBytes(LpcIoModule()).size(), 18076u);
  const std::vector<std::pair<std::string, std::function<void(std::vector<std::uint8_t>&)>>> damages{
      {"image-bit", [](auto& bytes) { bytes[kImage + 1000] ^= 0x10; }},
      {"signature-bit", [](auto& bytes) { bytes[4 + 100] ^= 0x01; }},
      {"length", [](auto& bytes) { bytes[2] = 0x01; }},  // a signature longer than the file
  };
  const std::string signature = "Signatur ung\u00fcltig, Fehler 317";
  const std::vector<std::string> errors{signature, signature, "(87)"};
  for (std::size_t i = 0; i < damages.size(); ++i) {
    const auto& [name, damage] = damages[i];
    SCOPED_TRACE(name);
    const auto module = Altered(name, damage);
    Board board(Chip{}, std::nullopt, module);
    EXPECT_FALSE(board.ports.acquire(0x295, 2));
    EXPECT_TRUE(Contains(board.ports.failure(), "abgelehnt (")) << board.ports.failure();
    EXPECT_TRUE(Contains(board.ports.failure(), errors[i]));
    EXPECT_TRUE(Contains(board.ports.failure(), "besch\u00e4digt oder nicht von PawnIO signiert"));
    EXPECT_TRUE(Contains(board.ports.failure(), "unver\u00e4nderte LpcIO.bin"));
    EXPECT_TRUE(board.ports.slots().empty());
    EXPECT_TRUE(board.log.empty()) << "a refused module ran";
    std::filesystem::remove(module);
  }
}

TEST(PawnIoWithLpcIo, RefusesAModuleWithoutAFunctionItNeeds) {
  for (const PawnIoFunction& function : {kPawnIo.select_slot, kPawnIo.find_bars, kPawnIo.pio_outb, kPawnIo.pio_inb,
                                         kPawnIo.superio_inb, kPawnIo.superio_outb}) {
    const std::string name = function.name;
    SCOPED_TRACE(name);
    // The public's entry in the image's name table, its last letter changed.
    const auto module = Altered("without-" + name, [&](std::vector<std::uint8_t>& bytes) {
      const std::string entry = std::string(1, '\0') + name + '\0';
      const auto at = std::search(bytes.begin() + kImage, bytes.end(), entry.begin(), entry.end());
      ASSERT_NE(at, bytes.end());
      *(at + static_cast<long>(name.size())) = '_';
    });
    Board board(Chip{}, std::nullopt, module);
    // The changed image no longer matches its signature.
    board.device.check_signatures = false;
    EXPECT_FALSE(board.ports.acquire(0x295, 2));
    EXPECT_TRUE(Contains(board.ports.failure(), "taugt nicht f\u00fcr lumatext (ihm fehlt die Funktion " + name + ")"))
        << board.ports.failure();
    EXPECT_TRUE(Contains(board.ports.failure(), "aktuelle, unver\u00e4nderte LpcIO.bin"));
    std::filesystem::remove(module);
  }
}

TEST(PawnIoWithLpcIo, SaysWhenTheModuleDoesNotRunOnThisProcessor) {
  Board board(Chip{});
  board.device.arch = 2;  // ARM64: LpcIO's main refuses
  EXPECT_FALSE(board.ports.acquire(0x295, 2));
  EXPECT_TRUE(Contains(board.ports.failure(), "(50)")) << board.ports.failure();
  EXPECT_TRUE(Contains(board.ports.failure(), "nur auf Windows f\u00fcr x64-Prozessoren"));
  EXPECT_TRUE(board.log.empty());
}

TEST(PawnIoCall, NamePaddedThenLittleEndian64BitArgumentsInExactlyTheFunctionsNumber) {
  const std::vector<std::uint8_t> outb = PawnIoCall(kPawnIo.pio_outb, std::array<std::uint64_t, 2>{0x295, 0x1'0000'0029});
  ASSERT_EQ(outb.size(), 48u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(outb.data())), "ioctl_pio_outb");
  EXPECT_TRUE(std::all_of(outb.begin() + 14, outb.begin() + 32, [](std::uint8_t byte) { return byte == 0; }));
  EXPECT_EQ(std::vector<std::uint8_t>(outb.begin() + 32, outb.end()),
            (std::vector<std::uint8_t>{0x95, 0x02, 0, 0, 0, 0, 0, 0, 0x29, 0, 0, 0, 1, 0, 0, 0}));
  // The module would take the extra argument unnoticed.
  EXPECT_TRUE(PawnIoCall(kPawnIo.find_bars, std::array<std::uint64_t, 1>{0}).empty());
}

// What only the driver does: no module shows these.
TEST(PawnIoDriverFailures, EachNamesItsCauseAndWhatToDo) {
  struct Case {
    const char* what;
    DWORD open_result;
    DWORD load_result;
    bool module_present;
    std::vector<std::string> message;
    bool absent;
  };
  const std::vector<Case> cases{
      {"not installed", ERROR_FILE_NOT_FOUND, 0, true,
       {"nicht installiert", "winget install namazso.PawnIO", "LpcIO.bin"}, true},
      {"not elevated", ERROR_ACCESS_DENIED, 0, true, {"nur Administratoren", "als Administrator starten"}, false},
      {"module missing", 0, 0, false, {"fehlt", "neben lumatext.exe"}, false},
      {"loaded twice", 0, ERROR_ALREADY_INITIALIZED, true, {"schon ein Modul geladen", "neu starten", "(1247)"}, false},
      {"out of memory", 0, ERROR_NOT_ENOUGH_MEMORY, true, {"nicht geladen", "PawnIO neu installieren"}, false},
  };
  const auto module = WriteTemporary("lumatext-test-module.bin", {1, 2, 3});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FailingPawnIo device;
    device.open_result = c.open_result;
    device.load_result = c.load_result;
    IsaBus bus{L"Local\\lumatext-test-isabus-pawnio"};
    PawnIoPortIo ports(device, c.module_present ? module : module.parent_path() / "no-such-LpcIO.bin", bus);
    EXPECT_FALSE(ports.acquire(0x295, 2));
    for (const std::string& part : c.message) EXPECT_TRUE(Contains(ports.failure(), part)) << ports.failure();
    EXPECT_EQ(ports.absent(), c.absent);
    EXPECT_TRUE(ports.slots().empty());
    // Without access nothing reaches the chip.
    ports.out(0x295, 0x29);
    EXPECT_EQ(ports.in(0x296), 0xFF);
    EXPECT_EQ(device.executed, 0);
  }
  std::filesystem::remove(module);
}

}  // namespace
}  // namespace platform::windows
