// lumatext --check in a 32-bit program: the probe's facts on the test port I/O DLL (under
// the names of the DLLs it stands in for) or missing DLLs, given IO-Warrior interfaces,
// and the report composed from them.

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "app/setup_check.hpp"
#include "platform/windows/base/library_symbol.hpp"
#include "platform/windows/setup/setup_probe_windows_32.hpp"

namespace platform::windows {
namespace {

using Calls = PortIoLibrary::Calls;

const wchar_t kPinsPath[] = L"\\\\?\\hid#vid_07c0&pid_1501&mi_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const wchar_t kSpecialPath[] = L"\\\\?\\hid#vid_07c0&pid_1501&mi_01#7&3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

const std::vector<IowarriorNode> kIowarrior24{IowarriorInterface(kPinsPath, 0x1501, L"00001A2B", 3, ERROR_SUCCESS),
                                              IowarriorInterface(kSpecialPath, 0x1501, L"00001A2B", 8, ERROR_SUCCESS)};

// The test DLL as IO.DLL, and under another name as inpout32.dll.
constexpr PortIoLibrary kIoDll{L"fake_port_io.dll", "PortOut", "PortIn", Calls::kIoDll};
constexpr PortIoLibrary kIoDllMissing{L"IO-missing.DLL", "PortOut", "PortIn", Calls::kIoDll};
constexpr PortIoLibrary kInpOut{L"inpout_fallback.dll", "Out32", "Inp32", Calls::kInpOut};
constexpr PortIoLibrary kInpOutMissing{L"inpout-missing.dll", "Out32", "Inp32", Calls::kInpOut};

// The test DLL `file`, kept loaded by the test so that what it is told outlives the probe.
class TestDll {
 public:
  explicit TestDll(const wchar_t* file) : module_(LoadLibraryW(file)) {}
  ~TestDll() { FreeLibrary(module_); }
  // Every read of the monitor's data port gives `value`.
  void answer(int value) { Symbol<void (*)(int, int)>(module_, "FakeSetIn")(0x296, value); }
  void driver_open(bool open) { Symbol<void (*)(BOOL)>(module_, "FakeSetDriverOpen")(open ? TRUE : FALSE); }
  bool loaded() const { return module_ != nullptr; }

 private:
  HMODULE module_;
};

struct Outcome {
  int status = 0;
  std::string report;
};

Outcome Check(std::span<const PortIoLibrary> dlls, bool elevated, std::vector<IowarriorNode> iowarriors = kIowarrior24) {
  DllSetupPlaces places;
  places.elevated = [&] { return elevated; };
  places.iowarriors = [&] { return iowarriors; };
  places.dlls = dlls;
  places.isa_bus = L"Local\\lumatext-test-isabus-check32";
  DllSetupProbe probe(places);
  std::ostringstream out;
  Outcome outcome;
  const SetupFacts facts = probe.collect();
  outcome.status = app::ReportSetup(facts, probe.ports(), out);
  outcome.report = out.str();
  return outcome;
}

bool Has(const std::string& report, const std::string& line_start) {
  return report.find("\n" + line_start) != std::string::npos || report.rfind(line_start, 0) == 0;
}

TEST(DllSetupCheck, NamesTheDllThatServesThePortsAndWhyEachOneBeforeItWasNotTaken) {
  TestDll io_dll(L"fake_port_io.dll");
  TestDll inpout(L"inpout_fallback.dll");
  ASSERT_TRUE(io_dll.loaded() && inpout.loaded());
  io_dll.answer(45);
  inpout.answer(50);

  // IO.DLL missing: inpout32 serves the ports, and the report says so.
  const std::array missing_first{kIoDllMissing, kInpOut};
  const Outcome fallback = Check(missing_first, true);
  EXPECT_EQ(fallback.status, 0) << fallback.report;
  EXPECT_TRUE(Has(fallback.report, "OK      Rechte: als Administrator gestartet")) << fallback.report;
  EXPECT_TRUE(Has(fallback.report, "HINWEIS Port-DLL IO-missing.DLL: nicht genommen: LoadLibraryEx IO-missing.DLL"))
      << fallback.report;
  EXPECT_TRUE(Has(fallback.report, "OK      Port-DLL inpout_fallback.dll: geladen aus ")) << fallback.report;
  EXPECT_NE(fallback.report.find("inpout_fallback.dll; lumatext liest die Ports 0x295/0x296"), std::string::npos)
      << "the item names the file it was loaded from:\n" << fallback.report;
  EXPECT_TRUE(Has(fallback.report, "OK      Messung: die Laufschrift zeigt \"CPU Temperatur : 50'C\"")) << fallback.report;
  EXPECT_TRUE(Has(fallback.report, "OK      ISA-Bus: Mutex Local\\lumatext-test-isabus-check32 zu haben"));
  // PawnIO, its module and the configuration slots are no items of a 32-bit program.
  EXPECT_EQ(fallback.report.find("LpcIO"), std::string::npos) << fallback.report;
  EXPECT_EQ(fallback.report.find("PawnIO:"), std::string::npos) << fallback.report;
  EXPECT_EQ(fallback.report.find("Konfigurationsslot"), std::string::npos) << fallback.report;
  EXPECT_EQ(fallback.report.find("inpoutx64"), std::string::npos) << fallback.report;
  EXPECT_NE(fallback.report.find("Ergebnis: lumatext kann hier laufen."), std::string::npos);

  // IO.DLL present: it is taken first, and inpout32 is not tried at all.
  const std::array both{kIoDll, kInpOut};
  const Outcome first = Check(both, true);
  EXPECT_EQ(first.status, 0) << first.report;
  EXPECT_TRUE(Has(first.report, "OK      Port-DLL fake_port_io.dll: geladen aus ")) << first.report;
  EXPECT_EQ(first.report.find("inpout_fallback.dll"), std::string::npos) << first.report;
  EXPECT_TRUE(Has(first.report, "OK      Messung: die Laufschrift zeigt \"CPU Temperatur : 45'C\"")) << first.report;
}

TEST(DllSetupCheck, WithoutAUsableDllTheCheckFailsAndSaysWhereTheDllsBelong) {
  TestDll inpout(L"inpout_fallback.dll");
  ASSERT_TRUE(inpout.loaded());
  // inpout32 present but its driver not running (first start without an administrator).
  inpout.driver_open(false);
  const std::array dlls{kIoDllMissing, kInpOut};
  const Outcome stopped = Check(dlls, false);
  inpout.driver_open(true);
  EXPECT_EQ(stopped.status, 1) << stopped.report;
  EXPECT_TRUE(Has(stopped.report, "HINWEIS Rechte: nicht als Administrator gestartet")) << stopped.report;
  EXPECT_NE(stopped.report.find("brauchen dann einen Administrator"), std::string::npos) << stopped.report;
  EXPECT_TRUE(Has(stopped.report, "HINWEIS Port-DLL inpout_fallback.dll: nicht genommen: inpout_fallback.dll: sein "
                                  "Treiber l\u00e4uft nicht"))
      << stopped.report;
  EXPECT_TRUE(Has(stopped.report, "FEHLER  Portzugriff 0x295/0x296: keine Port-DLL zu laden, und PawnIO hat keinen "
                                  "32-Bit-Treiber: IO.DLL oder inpout32.dll in den Ordner von lumatext.exe oder nach "
                                  "System32 legen"))
      << stopped.report;
  EXPECT_TRUE(Has(stopped.report, "FEHLER  Messung: ohne Portzugriff nicht m\u00f6glich")) << stopped.report;
  EXPECT_NE(stopped.report.find("Ergebnis: lumatext kann hier nicht laufen"), std::string::npos);

  // No DLL anywhere, and no IO-Warrior either: both stop lumatext, each with its FEHLER.
  const std::array none{kIoDllMissing, kInpOutMissing};
  const Outcome bare = Check(none, true, {});
  EXPECT_EQ(bare.status, 1) << bare.report;
  EXPECT_TRUE(Has(bare.report, "HINWEIS Port-DLL IO-missing.DLL: nicht genommen")) << bare.report;
  EXPECT_TRUE(Has(bare.report, "HINWEIS Port-DLL inpout-missing.dll: nicht genommen")) << bare.report;
  EXPECT_TRUE(Has(bare.report, "FEHLER  Portzugriff 0x295/0x296")) << bare.report;
  EXPECT_TRUE(Has(bare.report, "FEHLER  IO-Warrior: kein HID-Ger\u00e4t")) << bare.report;
  // Without PawnIO the 32-bit build reads the ITE 8705 only, and says so.
  EXPECT_TRUE(Has(bare.report, "HINWEIS Messwerte: nur vom ITE 8705 an 0x290")) << bare.report;

  // The ports alone do not make a working set-up: without the IO-Warrior the verdict stays no.
  const std::array present{kInpOut};
  const Outcome no_device = Check(present, true, {});
  EXPECT_EQ(no_device.status, 1) << no_device.report;
  EXPECT_TRUE(Has(no_device.report, "OK      Port-DLL inpout_fallback.dll: geladen aus ")) << no_device.report;
}

}  // namespace
}  // namespace platform::windows
