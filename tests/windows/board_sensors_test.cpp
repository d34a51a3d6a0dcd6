// lumatext.exe's readings on simulated PCs without the ITE 8705: the real, signed CPU
// modules and LpcIO in the tests' PawnIO driver, a simulated CPU behind their natives, a
// simulated Super-I/O chip behind LpcIO's ports. What the sign shows is worked out from
// the register values by hand; the ITE monitor's ports are never touched.
#include "platform/windows/sensors/board_sensors.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/setup_check.hpp"
#include "monitor/sensor_choice.hpp"
#include "monitor/sensor_readings.hpp"
#include "platform/system_clock.hpp"
#include "platform/window_state.hpp"
#include "platform/windows/base/user_advice.hpp"
#include "platform/windows/setup/setup_probe_windows.hpp"
#include "sim/sim_ite8705.hpp"
#include "tests/windows/fake_pawnio.hpp"
#include "tests/windows/simulated_cpu.hpp"
#include "tests/windows/simulated_pawnio.hpp"
#include "tests/windows/simulated_super_io.hpp"

namespace platform::windows {
namespace {

class NoDevice final : public iow::IowKit {
 public:
  iow::IowKitHandle open_device() override { return 0; }
  std::uint32_t write(iow::IowKitHandle, std::uint32_t, const std::uint8_t*, std::uint32_t) override { return 0; }
  void close_device(iow::IowKitHandle) override {}
};

// A PC: a CPU, a board with its Super-I/O chips, PawnIO with the modules beside the tests.
struct Pc {
  explicit Pc(std::optional<SimulatedSuperIo::Chip> slot0, std::optional<SimulatedSuperIo::Chip> slot1 = std::nullopt,
              std::filesystem::path modules = LpcIoModule().parent_path())
      : board(std::move(slot0), std::move(slot1), monitor, log),
        sensors(cpu, [this] { return open(); }, std::move(modules)),
        ports(open(), LpcIoModule(), {}, &sensors) {}

  std::unique_ptr<PawnIoDevice> open() {
    auto device = std::make_unique<SimulatedPawnIo>(board, log);
    device->cpu = &cpu;
    return device;
  }

  // What the program does from its start to its first two texts.
  struct Texts {
    std::string error;  // the refused owner's choice, else empty
    bool acquired = false;
    std::string temperature;
    std::string fan;
  };
  Texts run(const monitor::OwnerChoices& owner = {}) {
    Texts texts;
    texts.error = monitor::ChooseReadingSource(ports, owner);
    if (!texts.error.empty()) return texts;
    NoDevice kit;
    SystemClock clock;
    iow::OutsideLibraries lib(kit, ports, clock);
    texts.acquired = lib.PortAccess(0x295, 2);
    if (!texts.acquired) return texts;
    WindowState w;
    monitor::ReadTemperatureText(w, lib);
    texts.temperature = w.DisplayText;
    monitor::ReadFanSpeedText(w, lib);
    texts.fan = w.DisplayText;
    return texts;
  }

  std::string sensors_report(const monitor::OwnerChoices& owner = {}) {
    std::ostringstream out;
    app::ReportSensors(ports, owner, out);
    return out.str();
  }

  // lumatext --check after the start: the probe told what the program's own port access found.
  std::string check_report() {
    PortAccess access{false, 0, "", ports.foreign_ports(), ports.sensor_sources(), ports.driver(), ports.sensor_missing()};
    WindowsSetupPlaces places;
    places.pawnio = [this] { return open(); };
    places.module = LpcIoModule();
    places.pawnio_version = [] { return std::string("2.1.0.0"); };
    places.elevated = [] { return true; };
    places.iowarriors = [] { return std::vector<IowarriorNode>{}; };
    places.dlls = {};
    WindowsSetupProbe probe(places, access);
    const SetupFacts facts = probe.collect();
    std::ostringstream out;
    app::ReportSetup(facts, probe.ports(), out);
    return out.str();
  }

  // Whether the ITE monitor's temperature or fan register was selected at 0x295 (where a
  // Nuvoton or Fintek monitor at 0x290 has its own, other registers).
  bool touched_monitor_ports() const {
    return std::any_of(log.begin(), log.end(),
                       [](const std::string& line) { return line == "0x295<-0x29" || line == "0x295<-0x0D"; });
  }

  std::vector<std::string> log;
  sim::SimIte8705 monitor{{45}, {60}};
  SimulatedSuperIo board;
  SimulatedCpu cpu;
  PawnIoBoardSensors sensors;
  WindowsPortIo ports;
};

// CPUID 06h EAX: bit 0 the digital sensor, bit 6 the package sensor.
void IntelThermalLeaf(SimulatedCpu& cpu, bool package) {
  cpu.set_cpuid(6, 0, {package ? 0x41u : 0x01u, 0, 0, 0});
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(BoardSensors, IntelWithAPackageSensorAndANuvotonFan) {
  Pc pc(SimulatedSuperIo::Nct6798());
  pc.cpu.set_identity("GenuineIntel", 6, 0x9E, 10);  // Core i7-8700K
  IntelThermalLeaf(pc.cpu, true);
  pc.cpu.processors = 4;
  pc.cpu.set_msr(0x1A2, 0x00640000);  // TjMax 100
  pc.cpu.set_msr(0x1B1, 0x88300000);  // package readout 48: 52 degrees
  pc.cpu.set_msr(0x19C, 0x88320000);  // each core: 50
  pc.board.set_fan_count(0, 1, 1688);  // SYSFANIN: 799 rpm
  pc.board.set_fan_count(0, 2, 1094);  // CPUFANIN: 1350000 / 1094 = 1234 rpm

  const Pc::Texts texts = pc.run();
  EXPECT_TRUE(texts.acquired) << TakeUserAdvice();
  EXPECT_EQ(texts.temperature, "CPU Temperatur : 52'C");
  EXPECT_EQ(texts.fan, "CPU Luefterdrehzahl : 1234 rpm");
  EXPECT_FALSE(pc.touched_monitor_ports()) << "a port of the ITE monitor was touched on a board without one";

  const std::string report = pc.sensors_report();
  EXPECT_TRUE(Contains(report, "cpu:package   52,0 'C   (IntelMSR.bin)")) << report;
  EXPECT_TRUE(Contains(report, "cpu:core3   50,0 'C")) << report;
  EXPECT_TRUE(Contains(report, "rpm")) << report;
  EXPECT_TRUE(Contains(report, "lumatext liest die Temperatur: cpu:package, CPU-eigener Sensor (cpu, package)")) << report;
  EXPECT_TRUE(Contains(report, "lumatext liest den L\u00fcfter: nct6798:")) << report;
  EXPECT_TRUE(Contains(pc.ports.sensor_sources(), "Modul IntelMSR.bin (PawnIO)")) << pc.ports.sensor_sources();

  const std::string check = pc.check_report();
  EXPECT_TRUE(Contains(check, "OK      Messwerte: Kein nutzbarer ITE-Chip gefunden.")) << check;
  EXPECT_TRUE(Contains(check, "aus den Sensoren \u00fcber PawnIO: Temperatur: cpu:package: CPU-eigener Sensor (cpu, "
                              "package), Modul IntelMSR.bin (PawnIO); L\u00fcfter: nct6798:fan2")) << check;
  EXPECT_TRUE(Contains(check, "Messung: die Laufschrift zeigt \"CPU Temperatur : 52'C\" und \"CPU Luefterdrehzahl : "
                              "1234 rpm\"")) << check;
  EXPECT_FALSE(Contains(check, "FEHLER  Portzugriff")) << check;
}

TEST(BoardSensors, IntelWithoutAPackageSensorReadsEachCoreOnItsOwnProcessor) {
  Pc pc(SimulatedSuperIo::Nct6798());
  pc.cpu.set_identity("GenuineIntel", 6, 0x1A, 5);  // Core i7-920
  IntelThermalLeaf(pc.cpu, false);
  pc.cpu.processors = 4;
  pc.cpu.set_msr(0x1A2, 0x00620000);          // TjMax 98
  pc.cpu.set_msr(0x19C, 0x88300000);          // 50
  pc.cpu.set_msr_on(1, 0x19C, 0x882E0000);    // processor 1: 52
  pc.cpu.set_msr_on(2, 0x19C, 0x88280000);    // processor 2: readout 40, 58: the hottest
  pc.cpu.set_msr_on(3, 0x19C, 0x08100000);    // processor 3: no valid reading, never taken
  pc.board.set_fan_count(0, 2, 1094);

  const Pc::Texts texts = pc.run();
  EXPECT_EQ(texts.temperature, "CPU Temperatur : 58'C");
  EXPECT_TRUE(std::find(pc.cpu.calls.begin(), pc.cpu.calls.end(), "msr_read 0x19C on 2") != pc.cpu.calls.end())
      << "the core's MSR was not read on its own processor";
  EXPECT_EQ(pc.cpu.bound(), 0u) << "the thread was left bound";

  // The owner's choice of another core; a core the CPU does not have is refused.
  Pc chosen(SimulatedSuperIo::Nct6798());
  chosen.cpu = pc.cpu;
  chosen.cpu.calls.clear();
  EXPECT_EQ(chosen.run({"cpu:core1", ""}).temperature, "CPU Temperatur : 52'C");
  Pc wrong(SimulatedSuperIo::Nct6798());
  wrong.cpu = pc.cpu;
  EXPECT_TRUE(Contains(wrong.run({"cpu:core9", ""}).error, "cpu hat keine Temperatur core9"));
}

TEST(BoardSensors, Core2WithoutTemperatureTargetEstimatesTjMax) {
  Pc pc(std::nullopt);
  pc.cpu.set_identity("GenuineIntel", 6, 0x17, 6);  // Core 2 Duo E8400: no MSR 0x1A2
  IntelThermalLeaf(pc.cpu, false);
  pc.cpu.processors = 2;
  pc.cpu.set_msr(0x19C, 0x88370000);  // readout 55 below the estimated 100: 45

  const Pc::Texts texts = pc.run();
  EXPECT_EQ(texts.temperature, "CPU Temperatur : 45'C");
  EXPECT_EQ(texts.fan, "CPU Luefterdrehzahl : --- rpm") << "a board without a known monitor chip has no fan";
  EXPECT_TRUE(Contains(pc.ports.sensor_sources(), "TjMax gesch\u00e4tzt")) << pc.ports.sensor_sources();
}

// AMD's PCI functions as the modules check them: 0:0.0 the host bridge, 0:24.3 the
// miscellaneous control.
void AmdHostBridge(SimulatedCpu& cpu) { cpu.set_pci({0, 0, 0}, 0, 0x14501022); }

TEST(BoardSensors, ZenReadsTctlAndTdieWhereTheProcessorHasAnOffset) {
  struct Row {
    const char* brand;
    unsigned model;
    std::uint32_t smn;
    const char* text;
  };
  const Row rows[] = {
      // 61.75 degrees = 494 eighths: 494 << 21.
      {"AMD Ryzen 7 3700X 8-Core Processor", 0x71, 494u << 21, "CPU Temperatur : 62'C"},
      // The range select: 49 less, 12.75.
      {"AMD Ryzen 7 3700X 8-Core Processor", 0x71, 494u << 21 | 1u << 19, "CPU Temperatur : 13'C"},
      // 1800X: Tctl 75.5 (604 eighths), Tdie 20 lower.
      {"AMD Ryzen 7 1800X Eight-Core Processor", 0x01, 604u << 21, "CPU Temperatur : 56'C"},
  };
  for (const Row& row : rows) {
    Pc pc(SimulatedSuperIo::Nct6798());
    pc.cpu.set_identity("AuthenticAMD", 0x17, row.model, 0);
    pc.cpu.set_brand(row.brand);
    AmdHostBridge(pc.cpu);
    pc.cpu.set_smn(0x59800, row.smn);
    pc.board.set_fan_count(0, 2, 1350);  // 1000 rpm
    const Pc::Texts texts = pc.run();
    EXPECT_EQ(texts.temperature, row.text) << row.brand;
    EXPECT_EQ(texts.fan, "CPU Luefterdrehzahl : 1000 rpm") << row.brand;
    EXPECT_FALSE(pc.touched_monitor_ports());
  }
}

TEST(BoardSensors, OlderAmdFamiliesReadTheirOwnRegisters) {
  // Family 15h (an FX-8350): register 0xA4 of 0:24.3, 45.5 degrees = 364 eighths.
  Pc k10(std::nullopt, SimulatedSuperIo::F71882fg());
  k10.cpu.set_identity("AuthenticAMD", 0x15, 0x02, 0);
  k10.cpu.set_pci({0, 24, 3}, 0, 0x16031022);
  k10.cpu.set_pci({0, 24, 3}, 0xA4, 364u << 21);
  k10.board.set_fan_count(1, 1, 1000);  // Fintek fan1: 1500000 / 1000
  const Pc::Texts fx = k10.run();
  EXPECT_EQ(fx.temperature, "CPU Temperatur : 46'C");
  EXPECT_EQ(fx.fan, "CPU Luefterdrehzahl : 1500 rpm");
  EXPECT_TRUE(std::none_of(k10.cpu.calls.begin(), k10.cpu.calls.end(),
                           [](const std::string& call) { return Contains(call, "interrupts_disable"); }))
      << "the TSC measurement ran";

  // Family 0Fh, an Athlon 64 X2 of revision G (model 0x6B, brand index 0): 21 more.
  Pc k8(std::nullopt);
  k8.cpu.set_identity("AuthenticAMD", 0x0F, 0x6B, 2);
  k8.cpu.processors = 2;
  k8.cpu.set_pci({0, 24, 3}, 0, 0x11031022);
  k8.cpu.set_thermtrip(0, 0, 0x005F0000);  // 95 - 49 + 21 = 67
  k8.cpu.set_thermtrip(0, 1, 0x00600000);  // 96 - 49 + 21 = 68: the hotter
  EXPECT_EQ(k8.run().temperature, "CPU Temperatur : 68'C");
}

TEST(BoardSensors, NoModuleForTheCpuOrAnAlteredOneIsAClearRefusal) {
  Pc via(SimulatedSuperIo::Nct6798());
  via.cpu.set_identity("CentaurHauls", 6, 0x0F, 0);
  const Pc::Texts none = via.run();
  EXPECT_FALSE(none.acquired);
  const std::string advice = TakeUserAdvice();
  EXPECT_TRUE(Contains(advice, "Kein nutzbarer ITE-Chip gefunden")) << advice;
  EXPECT_TRUE(Contains(advice, "hat PawnIO kein Temperaturmodul")) << advice;
  EXPECT_TRUE(Contains(via.sensors_report(), "lumatext liest die Temperatur: keine")) << via.sensors_report();
  const std::string check = via.check_report();
  EXPECT_TRUE(Contains(check, "kein Temperatursensor der CPU gefunden (gesucht: das Temperaturmodul von PawnIO")) << check;
  EXPECT_TRUE(Contains(check, "hat PawnIO kein Temperaturmodul")) << check;

  // IntelMSR.bin with one bit flipped: PawnIO refuses its signature.
  std::vector<std::uint8_t> altered = ReadBytes(LpcIoModule().parent_path() / "IntelMSR.bin");
  altered[altered.size() - 100] ^= 1;
  const auto folder = WriteTemporary("IntelMSR.bin", altered).parent_path();
  Pc intel(SimulatedSuperIo::Nct6798(), std::nullopt, folder);
  intel.cpu.set_identity("GenuineIntel", 6, 0x9E, 10);
  IntelThermalLeaf(intel.cpu, true);
  intel.cpu.set_msr(0x1A2, 0x00640000);
  intel.cpu.set_msr(0x1B1, 0x88300000);
  EXPECT_FALSE(intel.run().acquired);
  EXPECT_TRUE(Contains(TakeUserAdvice(), "nicht geladen")) << "an altered module was run";
  EXPECT_TRUE(intel.cpu.calls.empty()) << "the altered module reached the CPU";
}

TEST(BoardSensors, TheIte8705sPcIsReadThroughItsPortsAsEver) {
  // The same port accesses with the sensors as without them.
  std::vector<std::string> with;
  {
    Pc pc(SimulatedSuperIo::Chip{});
    pc.cpu.set_identity("AuthenticAMD", 0x0F, 0x2B, 1);
    const Pc::Texts texts = pc.run();
    EXPECT_EQ(texts.temperature, "CPU Temperatur : 45'C");
    EXPECT_TRUE(pc.cpu.calls.empty()) << "a CPU module ran on the ITE 8705's PC";
    with = pc.log;
  }
  std::vector<std::string> without;
  sim::SimIte8705 monitor({45}, {60});
  SimulatedSuperIo board(SimulatedSuperIo::Chip{}, std::nullopt, monitor, without);
  SimulatedPawnIo device(board, without);
  WindowsPortIo ports(std::make_unique<SharedPawnIo>(device), LpcIoModule(), {});
  ASSERT_TRUE(ports.acquire(0x295, 2));
  NoDevice kit;
  SystemClock clock;
  iow::OutsideLibraries lib(kit, ports, clock);
  WindowState w;
  monitor::ReadTemperatureText(w, lib);
  monitor::ReadFanSpeedText(w, lib);
  EXPECT_EQ(with, without);
}

}  // namespace
}  // namespace platform::windows
