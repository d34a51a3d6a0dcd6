// The set-up report of lumatext --check, composed from the platform's facts.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "app/setup_check.hpp"
#include "sim/sim_ite8705.hpp"

namespace app {
namespace {

using platform::IowarriorNode;
using platform::NodeOpen;
using platform::PortRefusal;
using platform::SetupFacts;

IowarriorNode Node(const std::string& path, std::uint32_t product, std::uint32_t interface, std::uint32_t report_size) {
  IowarriorNode node;
  node.path = path;
  node.open = NodeOpen::kOpened;
  node.described = true;
  node.product = product;
  node.serial = "00001A2B";
  node.interface = interface;
  node.report_size = report_size;
  return node;
}

// An IO-Warrior 24 set up as the package leaves it, for a user in plugdev.
SetupFacts Working() {
  SetupFacts facts;
  facts.device_directory = "/dev/usb";
  facts.nodes = {Node("/dev/usb/iowarrior0", 0x1501, 0, 2), Node("/dev/usb/iowarrior1", 0x1501, 1, 7)};
  facts.udev_rule = "/usr/lib/udev/rules.d/60-lumatext-iowarrior.rules";
  facts.udev_group = "plugdev";
  facts.udev_running = true;
  facts.user = "anna";
  facts.in_group = true;
  facts.program = "/usr/bin/lumatext";
  facts.program_has_capability = true;
  return facts;
}

struct Outcome {
  int status;
  std::string report;
  int register_reads;
};

Outcome Check(const SetupFacts& facts) {
  sim::SimIte8705 chip({45}, {60});
  chip.acquire(0x295, 2);
  std::ostringstream out;
  const int status = ReportSetup(facts, chip, out);
  return {status, out.str(), chip.temperature_reads() + chip.fan_count_reads()};
}

TEST(SetupReport, AWorkingSetUpIsAllOkAndShowsWhatTheSignWouldShow) {
  const Outcome outcome = Check(Working());

  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.register_reads, 2);
  EXPECT_EQ(outcome.report.find("FEHLER"), std::string::npos) << outcome.report;
  EXPECT_NE(outcome.report.find("OK      IO-Warrior /dev/usb/iowarrior0: IO-Warrior 24 (0x1501), Seriennummer 00001A2B, "
                                "Schnittstelle 0 (I/O-Pins), Report 2 Bytes; lumatext benutzt ihn\n"),
            std::string::npos)
      << outcome.report;
  EXPECT_NE(outcome.report.find("\"CPU Temperatur : 45'C\" und \"CPU Luefterdrehzahl : 2812 rpm\""), std::string::npos)
      << outcome.report;
  // One line per item, every one marked.
  std::istringstream lines(outcome.report);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_TRUE(line.starts_with("OK      ") || line.starts_with("Ergebnis: lumatext kann hier laufen")) << line;
  }
  EXPECT_EQ(count, 9);
}

struct Fault {
  const char* name;
  std::function<void(SetupFacts&)> make;
  int status;
  const char* advice;  // the line that must appear
  int register_reads;
};

TEST(SetupReport, EachFaultSaysWhatToDoAndOnlyBlockingOnesFailTheCheck) {
  const Fault faults[] = {
      {"no capability",
       [](SetupFacts& f) {
         f.port_refusal = PortRefusal::kNoCapability;
         f.port_error = "Operation not permitted";
         f.program_has_capability = false;
       },
       1, "FEHLER  Portzugriff 0x295/0x296: ioperm verweigert: Operation not permitted; Abhilfe: sudo setcap "
          "cap_sys_rawio+ep /usr/bin/lumatext\n",
       0},
      {"capability without effect",
       [](SetupFacts& f) {
         f.port_refusal = PortRefusal::kNoCapability;
         f.port_error = "Operation not permitted";
       },
       1, "nosuid", 0},
      {"lockdown",
       [](SetupFacts& f) {
         f.port_refusal = PortRefusal::kLockdown;
         f.lockdown_mode = "integrity";
       },
       1, "Secure Boot ausschalten", 0},
      {"busy node",
       [](SetupFacts& f) {
         f.nodes[0].open = NodeOpen::kBusy;
       },
       1, "FEHLER  IO-Warrior /dev/usb/iowarrior0: IO-Warrior 24 (0x1501), Seriennummer 00001A2B, Schnittstelle 0 "
          "(I/O-Pins), Report 2 Bytes; ein anderes Programm h\u00e4lt ihn offen (EBUSY",
       2},
      {"a busy node before a free one",
       [](SetupFacts& f) {
         f.nodes[0].open = NodeOpen::kBusy;
         f.nodes.push_back(Node("/dev/usb/iowarrior2", 0x1501, 0, 2));
       },
       0, "OK      IO-Warrior /dev/usb/iowarrior2: IO-Warrior 24 (0x1501), Seriennummer 00001A2B, Schnittstelle 0 "
          "(I/O-Pins), Report 2 Bytes; lumatext benutzt ihn\n",
       2},
      {"denied, not in the group",
       [](SetupFacts& f) {
         f.nodes[0].open = NodeOpen::kDenied;
         f.nodes[0].owner = "root:root 0600";
         f.in_group = false;
       },
       1, "FEHLER  Benutzer anna: nicht in der Gruppe plugdev: sudo adduser anna plugdev, dann ab- und wieder anmelden\n",
       2},
      {"denied, group not yet in this session",
       [](SetupFacts& f) {
         f.nodes[0].open = NodeOpen::kDenied;
         f.in_group = false;
         f.in_group_after_login = true;
       },
       1, "diese Sitzung hat sie aber noch nicht", 2},
      {"rule installed after plugging",
       [](SetupFacts& f) { f.nodes[0].open = NodeOpen::kDenied; },
       1, "sudo udevadm control --reload && sudo udevadm trigger --action=add --subsystem-match=usbmisc", 2},
      {"not in the group, but the node opens",
       [](SetupFacts& f) { f.in_group = false; },
       0, "HINWEIS Benutzer anna: nicht in der Gruppe plugdev", 2},
      {"an IO-Warrior 40",
       [](SetupFacts& f) { f.nodes[0] = Node("/dev/usb/iowarrior0", 0x1500, 0, 4); },
       0, "OK      IO-Warrior /dev/usb/iowarrior0: IO-Warrior 40 (0x1500), Seriennummer 00001A2B, Schnittstelle 0 "
          "(I/O-Pins), Report 4 Bytes; lumatext benutzt ihn\n", 2},
      {"an IO-Warrior 100 whose driver reports 13 port bytes",
       [](SetupFacts& f) { f.nodes[0] = Node("/dev/usb/iowarrior0", 0x1506, 0, 13); },
       1, "FEHLER  IO-Warrior /dev/usb/iowarrior0: IO-Warrior 100 (0x1506), Seriennummer 00001A2B, Schnittstelle 0 "
          "(I/O-Pins), Report 13 Bytes; lumatext kann ihn nicht benutzen: IO-Warrior 100 (0x1506) mit einem "
          "Pin-Report von 13 Port-Bytes gemeldet, das Modell hat 12", 2},
      {"an unknown model with one port",
       [](SetupFacts& f) { f.nodes[0] = Node("/dev/usb/iowarrior0", 0x15F0, 0, 1); },
       1, "FEHLER  IO-Warrior /dev/usb/iowarrior0: unbekanntes Modell 0x15F0, Seriennummer 00001A2B, Schnittstelle 0 "
          "(I/O-Pins), Report 1 Bytes; lumatext kann ihn nicht benutzen: unbekanntes Modell 0x15F0 hat nur 1 "
          "Port-Byte; die Tasten der Laufschrift liegen an Port 1", 2},
      {"an unknown model with three ports",
       [](SetupFacts& f) { f.nodes[0] = Node("/dev/usb/iowarrior0", 0x15F0, 0, 3); },
       0, "HINWEIS IO-Warrior /dev/usb/iowarrior0: unbekanntes Modell 0x15F0, Seriennummer 00001A2B, Schnittstelle 0 "
          "(I/O-Pins), Report 3 Bytes; lumatext benutzt ihn; unbekanntes Modell 0x15F0 mit 3 Port-Bytes", 2},
      {"a one-port device before an IO-Warrior 56",
       [](SetupFacts& f) {
         f.nodes[0] = Node("/dev/usb/iowarrior0", 0x15F0, 0, 1);
         f.nodes.push_back(Node("/dev/usb/iowarrior2", 0x1503, 0, 7));
       },
       0, "OK      IO-Warrior /dev/usb/iowarrior2: IO-Warrior 56 (0x1503), Seriennummer 00001A2B, Schnittstelle 0 "
          "(I/O-Pins), Report 7 Bytes; lumatext benutzt ihn\n", 2},
      {"no node",
       [](SetupFacts& f) { f.nodes.clear(); },
       1, "sudo modprobe iowarrior", 2},
      {"it87 bound",
       [](SetupFacts& f) { f.it87_bound = true; },
       0, "HINWEIS Treiber it87: gebunden", 2},
  };
  for (const Fault& fault : faults) {
    SetupFacts facts = Working();
    fault.make(facts);
    const Outcome outcome = Check(facts);
    EXPECT_EQ(outcome.status, fault.status) << fault.name << "\n" << outcome.report;
    EXPECT_NE(outcome.report.find(fault.advice), std::string::npos) << fault.name << "\n" << outcome.report;
    EXPECT_EQ(outcome.register_reads, fault.register_reads) << fault.name;
    EXPECT_EQ(outcome.report.find("FEHLER") != std::string::npos, fault.status != 0) << fault.name << "\n"
                                                                                      << outcome.report;
  }
}

TEST(SetupReport, AllOnesFromBothRegistersIsNamedAsNoChip) {
  sim::SimIte8705 chip({255}, {255});
  chip.acquire(0x295, 2);
  std::ostringstream out;
  EXPECT_EQ(ReportSetup(Working(), chip, out), 0);
  EXPECT_NE(out.str().find("HINWEIS Messung: die Laufschrift zeigt \"CPU Temperatur : 255'C\" und "
                           "\"CPU Luefterdrehzahl : 661 rpm\"; beide Register lesen 255"),
            std::string::npos)
      << out.str();
}

// The it87 driver's files in place of the ports; a port access fails the test.
class It87Files final : public iow::PortIo, public iow::MonitorDriver {
 public:
  bool acquire(std::uint16_t, std::uint16_t) override { return true; }
  void out(std::uint16_t port, std::uint8_t) override { ADD_FAILURE() << "port " << port << " written"; }
  std::uint8_t in(std::uint16_t port) override {
    ADD_FAILURE() << "port " << port << " read";
    return 0xFF;
  }
  iow::MonitorDriver* driver() override { return this; }
  std::optional<std::int64_t> temperature_millidegrees() override { return 52000; }
  std::optional<std::int64_t> fan_rpm() override { return 0; }
};

TEST(SetupReport, WithTheIt87DriversFilesItSaysSoPlainlyAndShowsTheirTexts) {
  SetupFacts facts = Working();
  facts.it87_bound = true;
  facts.it87_files = "/sys/class/hwmon/hwmon2";
  It87Files files;
  std::ostringstream out;
  EXPECT_EQ(ReportSetup(facts, files, out), 0) << out.str();
  const std::string report = out.str();
  for (const char* line : {
           "OK      Messwerte: aus den Dateien des Treibers it87 (/sys/class/hwmon/hwmon2/temp1_input und fan1_input); "
           "lumatext benutzt die Ports 0x295/0x296 nicht, ruft kein ioperm auf und legt jedes Recht beim Start ab\n",
           "OK      Treiber it87: bedient den Systemmonitor; lumatext liest seine Dateien statt der Ports",
           "OK      Quelle der Messwerte: die Dateien des Treibers it87",
           "OK      Messung: die Laufschrift zeigt \"CPU Temperatur : 52'C\" und \"CPU Luefterdrehzahl : --- rpm\"\n",
       }) {
    EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
  }
  EXPECT_EQ(report.find("HINWEIS"), std::string::npos) << report;
  EXPECT_EQ(report.find("Portzugriff"), std::string::npos) << report;
}

TEST(SetupReport, AChipNotIdentifiedIsSaidToBeReadAsTheIte8705) {
  sim::SimIte8705 chip({45}, {60});
  chip.set_chip({});
  chip.acquire(0x295, 2);
  std::ostringstream out;
  EXPECT_EQ(ReportSetup(Working(), chip, out), 0);
  EXPECT_NE(out.str().find("HINWEIS Quelle der Messwerte: die Ports 0x295/0x296; Chip nicht bestimmt (lumatext liest "
                           "unter Linux die Konfigurationsports 0x2E/0x4E nicht"),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("sudo modprobe it87"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace app
