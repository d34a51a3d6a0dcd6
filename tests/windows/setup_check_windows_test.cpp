// lumatext --check on Windows: the probe's facts on the tests' PawnIO running the real
// LpcIO module in front of a simulated board (a fake device only for the driver's own
// failures), a fake port I/O DLL and given IO-Warrior interfaces, and the report
// composed from them.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "app/setup_check.hpp"
#include "platform/windows/setup/setup_probe_windows.hpp"
#include "sim/sim_ite8705.hpp"
#include "tests/windows/fake_pawnio.hpp"
#include "tests/windows/simulated_pawnio.hpp"
#include "tests/windows/simulated_super_io.hpp"

namespace platform::windows {
namespace {

using Chip = SimulatedSuperIo::Chip;

const wchar_t kPinsPath[] = L"\\\\?\\hid#vid_07c0&pid_1501&mi_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const wchar_t kSpecialPath[] = L"\\\\?\\hid#vid_07c0&pid_1501&mi_01#7&3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

constexpr PortIoLibrary kFakeInpOut{L"fake_port_io.dll", "Out32", "Inp32", PortIoLibrary::Calls::kInpOut};
constexpr PortIoLibrary kNoDll{L"inpout-missing.dll", "Out32", "Inp32", PortIoLibrary::Calls::kInpOut};

// A machine as the setup leaves it: an IO-Warrior 24, PawnIO 2.1.0.0 opened by an
// elevated process, LpcIO.bin beside the program, the ITE 8705 on slot 0.
struct Machine {
  bool elevated = true;
  std::string pawnio_version = "2.1.0.0";
  DWORD pawnio_open = ERROR_SUCCESS;
  enum class Module { kSigned, kMissing, kDamaged } module = Module::kSigned;
  std::optional<Chip> slot0 = Chip{};
  std::optional<Chip> slot1;
  std::vector<IowarriorNode> iowarriors{IowarriorInterface(kPinsPath, 0x1501, L"00001A2B", 3, ERROR_SUCCESS),
                                        IowarriorInterface(kSpecialPath, 0x1501, L"00001A2B", 8, ERROR_SUCCESS)};
  const PortIoLibrary* dll = &kNoDll;
  // The environment controller's fan: count, registers 0x0B and 0x0C (a later chip's).
  std::uint16_t fan_count = 60;
  std::uint8_t fan_divisors = 0;
  std::uint8_t fan_16bit = 0;
};

struct Outcome {
  int status = 0;
  std::string report;
  SetupFacts facts;
  int register_reads = 0;  // of the monitor's temperature and fan count registers
};

Outcome Check(const Machine& machine) {
  std::filesystem::path module = LpcIoModule();
  if (machine.module == Machine::Module::kMissing) {
    module = std::filesystem::temp_directory_path() / "lumatext-check-missing" / "LpcIO.bin";
  } else if (machine.module == Machine::Module::kDamaged) {
    std::vector<std::uint8_t> bytes = ReadBytes(module);
    bytes[bytes.size() - 100] ^= 1;
    module = WriteTemporary("lumatext-check-LpcIO.bin", bytes);
  }
  std::vector<std::string> log;
  sim::SimIte8705 monitor({45}, {machine.fan_count});
  monitor.set_fan_registers(machine.fan_divisors, machine.fan_16bit);
  SimulatedSuperIo board(machine.slot0, machine.slot1, monitor, log);
  SimulatedPawnIo pawnio(board, log);
  FailingPawnIo failing;
  failing.open_result = machine.pawnio_open;
  PawnIoDevice& device = machine.pawnio_open == ERROR_SUCCESS ? static_cast<PawnIoDevice&>(pawnio) : failing;

  WindowsSetupPlaces places;
  places.pawnio = [&] { return std::make_unique<SharedPawnIo>(device); };
  places.module = module;
  places.pawnio_version = [&] { return machine.pawnio_version; };
  places.elevated = [&] { return machine.elevated; };
  places.iowarriors = [&] { return machine.iowarriors; };
  places.dlls = std::span(machine.dll, 1);
  places.isa_bus = L"Local\\lumatext-test-isabus-check";
  WindowsSetupProbe probe(places);
  Outcome outcome;
  outcome.facts = probe.collect();
  std::ostringstream out;
  outcome.status = app::ReportSetup(outcome.facts, probe.ports(), out);
  outcome.report = out.str();
  outcome.register_reads = monitor.temperature_reads() + monitor.fan_count_reads();
  if (machine.module == Machine::Module::kDamaged) std::filesystem::remove(module);
  return outcome;
}

TEST(WindowsSetupCheck, AWorkingSetUpIsAllOkAndReadsBothRegistersOnce) {
  const Outcome outcome = Check(Machine{});
  EXPECT_EQ(outcome.status, 0) << outcome.report;
  EXPECT_EQ(outcome.report.find("FEHLER"), std::string::npos) << outcome.report;
  EXPECT_EQ(outcome.report.find("HINWEIS"), std::string::npos) << outcome.report;
  for (const char* line : {
           "OK      IO-Warrior \\\\?\\hid#vid_07c0&pid_1501&mi_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}: "
           "IO-Warrior 24 (0x1501), Seriennummer 00001A2B, Schnittstelle 0 (I/O-Pins), Report 2 Bytes; lumatext "
           "benutzt ihn\n",
           "Schnittstelle 1 (Sonderfunktionen), Report 7 Bytes; von lumatext nicht benutzt\n",
           "OK      Rechte: als Administrator gestartet\n",
           "OK      PawnIO: Version 2.1.0.0, dieser Prozess darf es \u00f6ffnen\n",
           "LpcIO.bin: von PawnIO angenommen\n",
           "OK      Konfigurationsslot 0 (Ports 0x2E/0x2F): Chip-ID 0x8705, lumatext benutzt diesen Chip\n",
           "OK      Portfenster: 0x295/0x296 liegen in den Fenstern, die LpcIO f\u00fcr den Chip \u00f6ffnet\n",
           "OK      ISA-Bus: Mutex Local\\lumatext-test-isabus-check zu haben",
           "OK      inpoutx64: nicht benutzt, PawnIO ist installiert\n",
           "OK      Quelle der Messwerte: die Ports 0x295/0x296; Chip IT8705F (Chip-ID 0x8705); L\u00fcfter wie beim "
           "IT8705F: Register 0x0D, 8 Bit, mal 8\n",
           "OK      Messung: die Laufschrift zeigt \"CPU Temperatur : 45'C\" und \"CPU Luefterdrehzahl : 2812 rpm\"\n",
           "Ergebnis: lumatext kann hier laufen.\n",
       }) {
    EXPECT_NE(outcome.report.find(line), std::string::npos) << line << "\n" << outcome.report;
  }
  // One reading of each register.
  EXPECT_EQ(outcome.register_reads, 2);
}

struct Fault {
  const char* name;
  std::function<void(Machine&)> make;
  int status;
  const char* line;  // must appear
};

TEST(WindowsSetupCheck, EachFaultSaysWhatToDoAndOnlyBlockingOnesFailTheCheck) {
  const Fault faults[] = {
      {"not elevated",
       [](Machine& m) {
         m.elevated = false;
         m.pawnio_open = ERROR_ACCESS_DENIED;
       },
       1, "FEHLER  Rechte: nicht als Administrator gestartet; lumatext.exe fragt beim Start selbst danach (UAC), "
          "diese Pr\u00fcfung l\u00e4uft mit den Rechten der Eingabeaufforderung, und PawnIO steht nur "
          "Administratoren offen: eine Eingabeaufforderung als Administrator \u00f6ffnen"},
      {"PawnIO missing, no DLL",
       [](Machine& m) {
         m.pawnio_version.clear();
         m.pawnio_open = ERROR_FILE_NOT_FOUND;
       },
       1, "FEHLER  PawnIO: nicht installiert: das Setup von lumatext erneut ausf\u00fchren und PawnIO angehakt lassen"},
      {"PawnIO missing, inpoutx64 serves",
       [](Machine& m) {
         m.pawnio_version.clear();
         m.pawnio_open = ERROR_FILE_NOT_FOUND;
         m.dll = &kFakeInpOut;
       },
       0, "HINWEIS inpoutx64: fake_port_io.dll geladen, lumatext liest die Ports dar\u00fcber, weil PawnIO fehlt"},
      {"PawnIO missing, inpoutx64 serves: the chip is not known",
       [](Machine& m) {
         m.pawnio_version.clear();
         m.pawnio_open = ERROR_FILE_NOT_FOUND;
         m.dll = &kFakeInpOut;
       },
       0, "HINWEIS Quelle der Messwerte: die Ports 0x295/0x296; Chip nicht bestimmt (\u00fcber eine Port-DLL liest "
          "lumatext die Konfigurationsports nicht); L\u00fcfter wie beim IT8705F: Register 0x0D, 8 Bit, mal 8. Bei einem "
          "sp\u00e4teren ITE-Chip mit 16-Bit-Z\u00e4hler ist die Drehzahl falsch: PawnIO installieren, dann bestimmt "
          "lumatext den Chip\n"},
      {"PawnIO entry without its device",
       [](Machine& m) { m.pawnio_open = ERROR_FILE_NOT_FOUND; },
       1, "FEHLER  PawnIO: Version 2.1.0.0 laut Systemsteuerung installiert, sein Ger\u00e4t fehlt aber"},
      {"an older PawnIO",
       [](Machine& m) { m.pawnio_version = "2.0.4.0"; },
       0, "HINWEIS PawnIO: Version 2.0.4.0, dieser Prozess darf es \u00f6ffnen; \u00e4lter als die mitgelieferte "
          "2.1.0.0"},
      {"module missing",
       [](Machine& m) { m.module = Machine::Module::kMissing; },
       1, "LpcIO.bin: fehlt: das Setup von lumatext legt es neben lumatext.exe"},
      {"module refused",
       [](Machine& m) { m.module = Machine::Module::kDamaged; },
       1, "lumatext-check-LpcIO.bin: von PawnIO abgelehnt ("},
      {"another chip on slot 0, the 8705 on slot 1",
       [](Machine& m) {
         m.slot0 = Chip{0xC803, 0, true, true};
         m.slot1 = Chip{};
       },
       0, "OK      Konfigurationsslot 1 (Ports 0x4E/0x4F): Chip-ID 0x8705, lumatext benutzt diesen Chip\n"},
      {"no chip answers",
       [](Machine& m) { m.slot0.reset(); },
       1, "FEHLER  Portzugriff 0x295/0x296 \u00fcber PawnIO: "},
      {"the monitor outside the chip's windows",
       [](Machine& m) { m.slot0 = Chip{0x8705, 0xA40}; },
       1, "FEHLER  Portzugriff 0x295/0x296 \u00fcber PawnIO: "},
      {"the IO-Warrior held by another program",
       [](Machine& m) {
         m.iowarriors[0] = IowarriorInterface(kPinsPath, 0x1501, L"00001A2B", 3, ERROR_SHARING_VIOLATION);
       },
       1, "Report 2 Bytes; ein anderes Programm h\u00e4lt ihn offen ("},
      {"no IO-Warrior",
       [](Machine& m) { m.iowarriors.clear(); },
       1, "FEHLER  IO-Warrior: kein HID-Ger\u00e4t mit Hersteller-ID 0x07C0"},
  };
  for (const Fault& fault : faults) {
    Machine machine;
    fault.make(machine);
    SCOPED_TRACE(fault.name);
    const Outcome outcome = Check(machine);
    EXPECT_EQ(outcome.status, fault.status) << fault.name << "\n" << outcome.report;
    EXPECT_NE(outcome.report.find(fault.line), std::string::npos) << fault.name << "\n" << outcome.report;
    EXPECT_EQ(outcome.report.find("FEHLER") != std::string::npos, fault.status != 0) << fault.name << "\n"
                                                                                      << outcome.report;
  }
}

TEST(WindowsSetupCheck, ALaterChipIsNamedWithItsRevisionAndFanModeAndReadAsItCounts) {
  Machine machine;
  Chip it8712;
  it8712.id = 0x8712;
  it8712.revision = 0x08;
  machine.slot0 = it8712;
  machine.fan_count = 225;
  machine.fan_16bit = 0x07;
  Outcome outcome = Check(machine);
  EXPECT_EQ(outcome.status, 0) << outcome.report;
  EXPECT_NE(outcome.report.find("OK      Quelle der Messwerte: die Ports 0x295/0x296; Chip IT8712F (Chip-ID 0x8712, "
                                "Revision 0x08); L\u00fcfter: 16 Bit (Register 0x0D und 0x18, Teiler 2)\n"),
            std::string::npos)
      << outcome.report;
  EXPECT_NE(outcome.report.find("\"CPU Luefterdrehzahl : 3000 rpm\""), std::string::npos) << outcome.report;

  machine.fan_count = 60;
  machine.fan_16bit = 0;
  machine.fan_divisors = 0x01;
  outcome = Check(machine);
  EXPECT_NE(outcome.report.find("L\u00fcfter: 8 Bit mit Teiler 2 (Register 0x0D, Teiler aus 0x0B)\n"), std::string::npos)
      << outcome.report;
  EXPECT_NE(outcome.report.find("\"CPU Luefterdrehzahl : 11250 rpm\""), std::string::npos) << outcome.report;
}

TEST(WindowsSetupCheck, ASlotWithAnotherChipIsNamedWithItsIdAndLeftOutOfTheVerdict) {
  Machine machine;
  machine.slot0 = Chip{0xC803, 0, true, true};
  machine.slot1 = Chip{};
  const Outcome outcome = Check(machine);
  ASSERT_TRUE(outcome.facts.windows);
  ASSERT_EQ(outcome.facts.windows->slots.size(), 2u);
  EXPECT_EQ(outcome.facts.windows->slots[0].chip_id, 0xC803);
  EXPECT_EQ(outcome.facts.windows->slots[1].chip_id, 0x8705);
  EXPECT_NE(outcome.report.find("HINWEIS Konfigurationsslot 0 (Ports 0x2E/0x2F): Chip-ID 0xC803"), std::string::npos)
      << outcome.report;
  EXPECT_EQ(outcome.status, 0) << outcome.report;
}

TEST(WindowsSetupCheck, AnInterfaceIsDescribedFromItsPathAndReportLength) {
  const IowarriorNode pins = IowarriorInterface(kPinsPath, 0x1501, L"00001A2B", 3, ERROR_SUCCESS);
  EXPECT_EQ(pins.interface, 0u);
  EXPECT_EQ(pins.report_size, 2u);
  EXPECT_EQ(pins.open, NodeOpen::kOpened);
  EXPECT_EQ(pins.serial, "00001A2B");
  const IowarriorNode special = IowarriorInterface(kSpecialPath, 0x1501, L"", 8, ERROR_ACCESS_DENIED);
  EXPECT_EQ(special.interface, 1u);
  EXPECT_EQ(special.open, NodeOpen::kBusy);
  // Without "&mi_" in the path, the pin report's length tells the pins interface.
  EXPECT_EQ(IowarriorInterface(L"\\\\?\\hid#vid_07c0&pid_1500#1", 0x1500, L"", 5, ERROR_SUCCESS).interface, 0u);
  EXPECT_EQ(IowarriorInterface(L"\\\\?\\hid#vid_07c0&pid_1500#1", 0x1500, L"", 8, ERROR_GEN_FAILURE).open,
            NodeOpen::kFailed);
}

}  // namespace
}  // namespace platform::windows
