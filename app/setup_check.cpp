#include "app/setup_check.hpp"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "monitor/sensor_choice.hpp"
#include "monitor/sensor_readings.hpp"
#include "platform/hex_text.hpp"
#include "platform/iowarrior_models.hpp"
#include "platform/system_clock.hpp"
#include "platform/window_state.hpp"

namespace app {
namespace {

using platform::DriverOpen;
using platform::Hex;
using platform::IowarriorNode;
using platform::NodeOpen;
using platform::PortRefusal;
using platform::SetupFacts;
using platform::WindowsPortFacts;

constexpr std::uint32_t kPinsInterface = 0;

// The report's lines and whether any of them stops lumatext.
class Report {
 public:
  explicit Report(std::ostream& out) : out_(out) {}
  void ok(const std::string& text) { line("OK", text); }
  void hint(const std::string& text) { line("HINWEIS", text); }
  void error(const std::string& text) {
    line("FEHLER", text);
    ++errors_;
  }
  // An error when it keeps lumatext from running, a hint when it does not.
  void problem(bool blocking, const std::string& text) { blocking ? error(text) : hint(text); }
  int errors() const { return errors_; }

 private:
  void line(const std::string& label, const std::string& text) {
    out_ << label << std::string(8 - label.size(), ' ') << text << "\n";
  }

  std::ostream& out_;
  int errors_ = 0;
};

std::string Description(const IowarriorNode& node) {
  if (!node.described) return "Modell unbekannt";
  std::string text = platform::IowarriorModelName(node.product);
  text += node.serial.empty() ? ", ohne Seriennummer" : ", Seriennummer " + node.serial;
  text += node.interface == kPinsInterface ? ", Schnittstelle 0 (I/O-Pins)"
                                           : ", Schnittstelle " + std::to_string(node.interface) + " (Sonderfunktionen)";
  if (node.report_size != 0) text += ", Report " + std::to_string(node.report_size) + " Bytes";
  return text;
}

bool MaybePins(const IowarriorNode& node) { return !node.described || node.interface == kPinsInterface; }

// Whether the pins interface `node` carries the keypad's port 1, and how.
platform::PinReportFit Fit(const IowarriorNode& node) { return platform::FitPinReport(node.product, node.report_size); }

// The node lumatext opens: the first, in this order, that opens and drives the pins of a
// model it can use.
const IowarriorNode* ChosenNode(const SetupFacts& facts) {
  for (const IowarriorNode& node : facts.nodes) {
    if (node.open == NodeOpen::kOpened && node.described && node.interface == kPinsInterface && Fit(node).usable) {
      return &node;
    }
  }
  return nullptr;
}

std::string WhyNotOpened(const IowarriorNode& node, const SetupFacts& facts) {
  if (facts.windows) {
    if (node.open == NodeOpen::kBusy) {
      return "ein anderes Programm h\u00e4lt ihn offen (" + node.error + "): es beenden, etwa ein zweites lumatext";
    }
    return "\u00f6ffnen scheitert: " + node.error + "; den IO-Warrior ab- und wieder anstecken";
  }
  const std::string owner = node.owner.empty() ? "" : " (" + node.owner + ")";
  switch (node.open) {
    case NodeOpen::kDenied:
      return "der Benutzer " + facts.user + " darf ihn nicht \u00f6ffnen" + owner +
             ": udev-Regel und Gruppe siehe unten, danach den IO-Warrior neu anstecken";
    case NodeOpen::kBusy:
      return "ein anderes Programm h\u00e4lt ihn offen (EBUSY; der Treiber l\u00e4sst nur einen zu): es beenden, "
             "etwa ein zweites lumatext oder den Dienst (sudo systemctl stop lumatext)";
    default:
      return "\u00f6ffnen scheitert: " + node.error;
  }
}

void ReportNodes(const SetupFacts& facts, const IowarriorNode* chosen, Report& report) {
  if (facts.nodes.empty() && facts.windows) {
    report.error("IO-Warrior: kein HID-Ger\u00e4t mit Hersteller-ID 0x07C0: den IO-Warrior anstecken (Windows "
                 "treibt ihn selbst, ohne Treiber); ist er angesteckt, im Ger\u00e4te-Manager unter "
                 "\"Eingabeger\u00e4te (Human Interface Devices)\" nachsehen");
    return;
  }
  if (facts.nodes.empty()) {
    report.error("IO-Warrior: kein Knoten " + facts.device_directory +
                 "/iowarrior*: den IO-Warrior anstecken; ist er angesteckt, das Kernelmodul laden (sudo modprobe "
                 "iowarrior)");
    return;
  }
  for (const IowarriorNode& node : facts.nodes) {
    const std::string head = "IO-Warrior " + node.path + ": " + Description(node) + "; ";
    if (&node == chosen) {
      const platform::PinReportFit fit = Fit(node);
      if (fit.note.empty()) {
        report.ok(head + "lumatext benutzt ihn");
      } else {
        report.hint(head + "lumatext benutzt ihn; " + fit.note);
      }
    } else if (node.open == NodeOpen::kOpened && node.described && node.interface == kPinsInterface) {
      report.problem(chosen == nullptr, head + "lumatext kann ihn nicht benutzen: " + Fit(node).note);
    } else if (!MaybePins(node)) {
      report.ok(head + "von lumatext nicht benutzt");
    } else if (node.open == NodeOpen::kOpened) {
      report.ok(head + (node.described ? "zu \u00f6ffnen, lumatext nimmt aber den ersten (" + chosen->path + ")"
                                       : "IOW_GETINFO scheitert: " + node.error));
    } else {
      report.problem(chosen == nullptr, head + WhyNotOpened(node, facts));
    }
  }
}

void ReportUdev(const SetupFacts& facts, const IowarriorNode* chosen, Report& report) {
  // Permissions matter only where a node keeps this user out.
  bool denied = false;
  for (const IowarriorNode& node : facts.nodes) denied = denied || node.open == NodeOpen::kDenied;
  const bool blocking = chosen == nullptr && denied;
  const std::string reload =
      "sudo udevadm control --reload && sudo udevadm trigger --action=add --subsystem-match=usbmisc";
  if (facts.udev_rule.empty()) {
    report.problem(blocking, "udev-Regel: keine f\u00fcr die Knoten iowarrior* gefunden: das Paket lumatext "
                             "installieren oder 60-lumatext-iowarrior.rules nach /etc/udev/rules.d kopieren, dann " +
                                 reload);
    return;
  }
  const std::string group = facts.udev_group.empty() ? "" : ", Gruppe " + facts.udev_group;
  if (!facts.udev_running) {
    report.problem(blocking, "udev-Regel " + facts.udev_rule + group +
                                 ": udev l\u00e4uft hier nicht, die Regel wirkt daher nicht (Container?); lumatext als "
                                 "root starten oder dem Knoten die Rechte von Hand geben");
  } else if (denied) {
    report.problem(blocking, "udev-Regel " + facts.udev_rule + group +
                                 ": installiert, doch ein Knoten hat ihre Rechte noch nicht: " + reload);
  } else {
    report.ok("udev-Regel " + facts.udev_rule + group);
  }
  if (facts.udev_group.empty()) return;
  if (facts.root) {
    report.ok("Benutzer root: darf jeden Knoten \u00f6ffnen");
  } else if (facts.in_group) {
    report.ok("Benutzer " + facts.user + ": in der Gruppe " + facts.udev_group);
  } else if (facts.in_group_after_login) {
    report.problem(blocking, "Benutzer " + facts.user + ": in der Gruppe " + facts.udev_group +
                                 " eingetragen, diese Sitzung hat sie aber noch nicht: ab- und wieder anmelden");
  } else {
    report.problem(blocking, "Benutzer " + facts.user + ": nicht in der Gruppe " + facts.udev_group + ": sudo adduser " +
                                 facts.user + " " + facts.udev_group + ", dann ab- und wieder anmelden");
  }
}

// Where the ports are not the ITE monitor's: where the readings come from instead (Linux:
// the kernel's drivers; Windows: PawnIO's modules). False where the ports are the monitor's.
bool ReportForeign(const SetupFacts& facts, Report& report) {
  if (facts.ports_foreign.empty()) return false;
  const bool windows = facts.windows.has_value();
  if (!facts.kernel_sources.empty()) {
    report.ok("Messwerte: " + facts.ports_foreign + (windows ? "; aus den Sensoren \u00fcber PawnIO: "
                                                             : "; aus den Treibern des Kernels: ") +
              facts.kernel_sources);
  } else {
    const std::string sought = facts.kernel_missing.empty() ? std::string(monitor::kTemperatureSought)
                                                            : facts.kernel_missing;
    report.error("Messwerte: " + facts.ports_foreign + "; kein Temperatursensor der CPU gefunden (" + sought +
                 (windows ? "); lumatext --sensors zeigt, was es gibt" : "); lumatext --sensors zeigt, was der Kernel anbietet"));
  }
  return true;
}

void ReportPorts(const SetupFacts& facts, Report& report) {
  if (ReportForeign(facts, report)) return;
  if (!facts.it87_files.empty()) {
    report.ok("Messwerte: aus den Dateien des Treibers it87 (" + facts.it87_files +
              "/temp1_input und fan1_input); lumatext benutzt die Ports " + Hex(monitor::kAddressPort, 3) + "/" +
              Hex(monitor::kDataPort, 3) + " nicht, ruft kein ioperm auf und legt jedes Recht beim Start ab");
    return;
  }
  const std::string head = "Portzugriff " + Hex(monitor::kAddressPort, 3) + "/" + Hex(monitor::kDataPort, 3) + ": ";
  const std::string setcap = "sudo setcap cap_sys_rawio+ep " + facts.program;
  switch (facts.port_refusal) {
    case PortRefusal::kNone:
      if (facts.program_has_capability) {
        report.ok(head + "ioperm gew\u00e4hrt (" + facts.program + " tr\u00e4gt cap_sys_rawio+ep)");
      } else if (facts.root) {
        report.ok(head + "ioperm gew\u00e4hrt, als root; f\u00fcr andere Benutzer: " + setcap);
      } else {
        report.ok(head + "ioperm gew\u00e4hrt");
      }
      return;
    case PortRefusal::kNoCapability:
      if (facts.program_has_capability) {
        report.error(head + "ioperm verweigert: " + facts.port_error + "; " + facts.program +
                     " tr\u00e4gt cap_sys_rawio+ep, doch sie wirkt nicht: das Dateisystem ist mit nosuid eingeh\u00e4ngt "
                     "oder der Prozess darf keine Rechte gewinnen (no_new_privs, Debugger, Container)");
      } else {
        report.error(head + "ioperm verweigert: " + facts.port_error + "; Abhilfe: " + setcap);
      }
      return;
    case PortRefusal::kLockdown:
      report.error(head + "ioperm verweigert: " + facts.port_error +
                   "; Abhilfe nur im Firmware-Setup: Secure Boot ausschalten");
      return;
    case PortRefusal::kNoIoperm:
      report.error(head + "ioperm verweigert: " + facts.port_error +
                   "; Abhilfe: einen Kernel mit ioperm starten (Debians Kernel hat es)");
      return;
    case PortRefusal::kNoPortInstructions:
      report.error(head + "dieser Rechner hat keine I/O-Port-Befehle (nur x86): lumatext kann hier nicht messen");
      return;
    case PortRefusal::kOther:
      report.error(head + "ioperm verweigert: " + facts.port_error);
      return;
  }
}

void ReportIt87(const SetupFacts& facts, Report& report) {
  if (!facts.ports_foreign.empty()) return;
  if (!facts.it87_files.empty()) {
    report.ok("Treiber it87: bedient den Systemmonitor; lumatext liest seine Dateien statt der Ports, beide kommen "
              "sich daher nicht in die Quere");
    return;
  }
  if (!facts.it87_bound) {
    report.ok("Treiber it87: nicht gebunden, lumatext hat den Systemmonitor f\u00fcr sich");
    return;
  }
  report.hint("Treiber it87: gebunden; er und lumatext benutzen beide den Adressport " + Hex(monitor::kAddressPort, 3) +
              ", ein Messwert kann daher ab und zu aus dem falschen Register stammen; wer das nicht will: sudo "
              "modprobe -r it87 (dauerhaft: 'blacklist it87' in /etc/modprobe.d/lumatext.conf)");
}

// Whether the dotted version `have` is older than `want` ("2.0.1.0" < "2.1.0.0").
bool OlderVersion(const std::string& have, const std::string& want) {
  const auto parts = [](const std::string& text) {
    std::vector<unsigned long> numbers;
    std::size_t at = 0;
    while (at <= text.size()) {
      const std::size_t dot = std::min(text.find('.', at), text.size());
      numbers.push_back(std::strtoul(text.substr(at, dot - at).c_str(), nullptr, 10));
      at = dot + 1;
    }
    while (numbers.size() < 4) numbers.push_back(0);
    return numbers;
  };
  return parts(have) < parts(want);
}

const char kAsAdministrator[] =
    "eine Eingabeaufforderung als Administrator \u00f6ffnen (Rechtsklick, \"Als Administrator ausf\u00fchren\") und "
    "lumatext --check dort erneut eingeben";

void ReportRights(const WindowsPortFacts& w, Report& report) {
  if (w.elevated) {
    report.ok("Rechte: als Administrator gestartet");
    return;
  }
  const std::string text = std::string("Rechte: nicht als Administrator gestartet; lumatext.exe fragt beim Start selbst "
                                       "danach (UAC), diese Pr\u00fcfung l\u00e4uft mit den Rechten der "
                                       "Eingabeaufforderung");
  if (w.pawnio_open == DriverOpen::kDenied) {
    report.error(text + ", und PawnIO steht nur Administratoren offen: " + kAsAdministrator);
  } else {
    report.hint(text);
  }
}

void ReportPawnIo(const WindowsPortFacts& w, Report& report) {
  const std::string version = w.pawnio_version.empty() ? "installiert" : "Version " + w.pawnio_version;
  const std::string setup = "das Setup von lumatext erneut ausf\u00fchren und PawnIO angehakt lassen";
  switch (w.pawnio_open) {
    case DriverOpen::kOpened:
      if (!w.pawnio_version.empty() && OlderVersion(w.pawnio_version, w.pawnio_carried)) {
        report.hint("PawnIO: " + version + ", dieser Prozess darf es \u00f6ffnen; \u00e4lter als die mitgelieferte " +
                    w.pawnio_carried + ": " + setup);
      } else {
        report.ok("PawnIO: " + version + ", dieser Prozess darf es \u00f6ffnen");
      }
      return;
    case DriverOpen::kDenied:
      report.problem(w.elevated, "PawnIO: " + version + ", steht aber nur Administratoren offen (" + w.pawnio_error +
                                     ")");
      return;
    case DriverOpen::kAbsent:
      if (!w.pawnio_version.empty()) {
        report.problem(!w.ports_ready, "PawnIO: Version " + w.pawnio_version +
                                           " laut Systemsteuerung installiert, sein Ger\u00e4t fehlt aber (" +
                                           w.pawnio_error + "): Windows neu starten; hilft das nicht, " + setup);
      } else {
        report.problem(!w.ports_ready, "PawnIO: nicht installiert: " + setup +
                                           " (oder als Administrator: winget install namazso.PawnIO)");
      }
      return;
    case DriverOpen::kFailed:
      report.error("PawnIO: " + version + ", sein Ger\u00e4t \u00f6ffnet aber nicht: " + w.pawnio_error);
      return;
  }
}

void ReportModule(const WindowsPortFacts& w, Report& report) {
  const std::string head = "LpcIO.bin " + w.module + ": ";
  if (!w.module_found) {
    report.problem(!w.ports_ready, head + "fehlt: das Setup von lumatext legt es neben lumatext.exe (bei der "
                                          ".zip-Fassung liegt es im Ordner bin)");
  } else if (!w.module_offered) {
    report.hint(head + "vorhanden; ob PawnIO es annimmt, ist erst zu pr\u00fcfen, wenn PawnIO sich \u00f6ffnen l\u00e4sst");
  } else if (w.module_error.empty()) {
    report.ok(head + "von PawnIO angenommen");
  } else {
    report.error(head + "von PawnIO abgelehnt (" + w.module_error +
                 "): eine unver\u00e4nderte, signierte LpcIO.bin verwenden (das Setup von lumatext erneut ausf\u00fchren)");
  }
}

void ReportChip(const WindowsPortFacts& w, Report& report) {
  const bool tried = w.pawnio_open == DriverOpen::kOpened && w.module_offered && w.module_error.empty();
  if (!tried) {
    report.hint("Chip: die Konfigurationsports (0x2E, 0x4E) sind nur \u00fcber PawnIO mit LpcIO.bin zu pr\u00fcfen");
    return;
  }
  for (const platform::ChipSlot& slot : w.slots) {
    const std::string head = "Konfigurationsslot " + std::to_string(slot.slot) + " (Ports " + Hex(slot.config_port) +
                             "/" + Hex(slot.config_port + 1u) + "): ";
    const std::string id = slot.chip_id == 0 ? std::string() : "Chip-ID " + Hex(slot.chip_id, 4);
    if (slot.outcome.empty()) {
      report.ok(head + id + ", lumatext benutzt diesen Chip");
    } else if (id.empty() || slot.outcome.find(id) != std::string::npos) {
      report.hint(head + slot.outcome);
    } else {
      report.hint(head + id + ": " + slot.outcome);
    }
  }
  const std::string ports = Hex(monitor::kAddressPort, 3) + "/" + Hex(monitor::kDataPort, 3);
  // Ready although PawnIO refused the ports: the readings come from the CPU's and the
  // board's sensors, reported with them.
  if (w.ports_ready && !w.port_failure.empty()) return;
  if (w.ports_ready) {
    report.ok("Portfenster: " + ports + " liegen in den Fenstern, die LpcIO f\u00fcr den Chip \u00f6ffnet");
  } else {
    report.error("Portzugriff " + ports + " \u00fcber PawnIO: " + w.port_failure);
  }
}

void ReportIsaBus(const WindowsPortFacts& w, Report& report) {
  if (!w.isa_bus_problem.empty()) {
    report.hint(w.isa_bus_problem);
  } else if (!w.isa_bus_held) {
    report.hint("ISA-Bus: Mutex " + w.isa_bus_name + " gerade nicht zu haben");
  } else {
    report.ok("ISA-Bus: Mutex " + w.isa_bus_name +
              " zu haben; lumatext h\u00e4lt ihn um jeden Registerzugriff, wie die anderen Messprogramme");
  }
}

void ReportPortDll(const WindowsPortFacts& w, Report& report) {
  if (!w.dll_tried) {
    report.ok("inpoutx64: nicht benutzt, PawnIO ist installiert");
  } else if (!w.dll_loaded.empty()) {
    report.hint("inpoutx64: " + w.dll_loaded +
                " geladen, lumatext liest die Ports dar\u00fcber, weil PawnIO fehlt; besser PawnIO installieren");
  } else {
    report.hint("inpoutx64: statt PawnIO nicht zu gebrauchen: " + w.dll_error);
  }
}

// A 32-bit program: the rights, then each port I/O DLL, PawnIO having no 32-bit driver.
void ReportRightsForDlls(const WindowsPortFacts& w, Report& report) {
  if (w.elevated) {
    report.ok("Rechte: als Administrator gestartet");
    return;
  }
  report.hint(std::string("Rechte: nicht als Administrator gestartet; lumatext.exe fragt beim Start selbst danach "
                          "(UAC), diese Pr\u00fcfung l\u00e4uft mit den Rechten der Eingabeaufforderung. IO.DLL und "
                          "inpout32.dll richten ihren Treiber beim ersten Gebrauch ein und brauchen dann einen "
                          "Administrator: liest die Messung unten 255 oder l\u00e4uft der Treiber nicht, ") +
              kAsAdministrator);
}

void ReportDlls(const WindowsPortFacts& w, Report& report) {
  const std::string ports = Hex(monitor::kAddressPort, 3) + "/" + Hex(monitor::kDataPort, 3);
  for (const platform::PortDllTried& dll : w.dlls) {
    if (dll.failure.empty()) {
      report.ok("Port-DLL " + dll.file + ": geladen aus " + dll.loaded_from + "; lumatext liest die Ports " + ports +
                " dar\u00fcber (PawnIO hat keinen 32-Bit-Treiber)");
    } else {
      report.hint("Port-DLL " + dll.file + ": nicht genommen: " + dll.failure);
    }
  }
  if (!w.ports_ready) {
    report.error("Portzugriff " + ports +
                 ": keine Port-DLL zu laden, und PawnIO hat keinen 32-Bit-Treiber: IO.DLL oder inpout32.dll in den "
                 "Ordner von lumatext.exe oder nach System32 legen (siehe Ports.txt im Programmordner) und lumatext "
                 "einmal als Administrator starten, damit die DLL ihren Treiber einrichtet; auf einem 64-Bit-Windows "
                 "besser die 64-Bit-Fassung von lumatext mit PawnIO nehmen");
  }
}

void ReportWindowsPorts(const WindowsPortFacts& w, Report& report) {
  if (w.dlls_only) {
    ReportRightsForDlls(w, report);
    ReportDlls(w, report);
    ReportIsaBus(w, report);
    // PawnIO, and with it the CPU's and the board's sensors, are the 64-bit build's.
    report.hint("Messwerte: nur vom ITE 8705 an 0x290 (Ports 0x295/0x296); die 32-Bit-Fassung hat kein PawnIO und "
                "damit keine Temperaturmodule der CPU. Auf einem PC ohne ITE 8705 die 64-Bit-Fassung nehmen");
    return;
  }
  ReportRights(w, report);
  ReportPawnIo(w, report);
  ReportModule(w, report);
  ReportChip(w, report);
  ReportIsaBus(w, report);
  ReportPortDll(w, report);
}

// An IO-Warrior library that has no device: the check never writes to one.
class NoDevice final : public iow::IowKit {
 public:
  iow::IowKitHandle open_device() override { return 0; }
  std::uint32_t write(iow::IowKitHandle, std::uint32_t, const std::uint8_t*, std::uint32_t) override { return 0; }
  void close_device(iow::IowKitHandle) override {}
};

// Whether reads and writes reach the monitor's ports.
bool PortsGranted(const SetupFacts& facts) {
  if (facts.windows) return facts.windows->ports_ready;
  if (!facts.ports_foreign.empty()) return !facts.kernel_sources.empty();
  return facts.port_refusal == PortRefusal::kNone;
}

// "IT8712F (Chip-ID 0x8712, Revision 0x08)".
std::string ChipName(const iow::MonitorChip& chip) {
  static constexpr std::uint16_t kKnown[] = {0x8705, 0x8712, 0x8716, 0x8718, 0x8720, 0x8721, 0x8726, 0x8728};
  const bool known = std::find(std::begin(kKnown), std::end(kKnown), chip.id) != std::end(kKnown);
  const std::string model = known ? "IT" + Hex(chip.id, 4).substr(2) + "F" : "ITE-Chip";
  const std::string revision = chip.id == monitor::kIte8705Id ? "" : ", Revision " + Hex(chip.revision, 2);
  return model + " (Chip-ID " + Hex(chip.id, 4) + revision + ")";
}

std::string FanModeText(const monitor::FanMode& mode) {
  switch (mode.counter) {
    case monitor::FanCounter::kIte8705:
      return "L\u00fcfter wie beim IT8705F: Register 0x0D, 8 Bit, mal 8";
    case monitor::FanCounter::kEightBit:
      return "L\u00fcfter: 8 Bit mit Teiler " + std::to_string(mode.divisor) + " (Register 0x0D, Teiler aus 0x0B)";
    case monitor::FanCounter::kSixteenBit:
      return "L\u00fcfter: 16 Bit (Register 0x0D und 0x18, Teiler 2)";
    case monitor::FanCounter::kDriver:
      return "L\u00fcfter: die Drehzahl des Treibers (fan1_input)";
  }
  return {};
}

// Where the readings come from, the chip and how its fan is read.
void ReportSource(const SetupFacts& facts, iow::OutsideLibraries& lib, Report& report) {
  const monitor::FanMode mode = monitor::ReadFanMode(lib);
  if (mode.counter == monitor::FanCounter::kDriver && !lib.driver()->register_readings()) {
    report.ok(std::string("Quelle der Messwerte: ") + (facts.windows ? "die Sensoren" : "die Treiber des Kernels") +
              " (oben); Temperatur in ganzen Grad, L\u00fcfter in rpm");
    return;
  }
  if (mode.counter == monitor::FanCounter::kDriver) {
    report.ok("Quelle der Messwerte: die Dateien des Treibers it87, der den Chip kennt; " + FanModeText(mode));
    return;
  }
  const std::string ports = "Quelle der Messwerte: die Ports " + Hex(monitor::kAddressPort, 3) + "/" +
                            Hex(monitor::kDataPort, 3) + "; ";
  const iow::MonitorChip chip = lib.chip();
  if (chip.id != 0) {
    report.ok(ports + "Chip " + ChipName(chip) + "; " + FanModeText(mode));
  } else if (facts.windows) {
    report.hint(ports + "Chip nicht bestimmt (\u00fcber eine Port-DLL liest lumatext die Konfigurationsports nicht); " +
                FanModeText(mode) + ". Bei einem sp\u00e4teren ITE-Chip mit 16-Bit-Z\u00e4hler ist die Drehzahl "
                "falsch: " + (facts.windows->dlls_only ? "auf einem 64-Bit-Windows die 64-Bit-Fassung mit PawnIO nehmen"
                                                        : "PawnIO installieren") +
                ", dann bestimmt lumatext den Chip");
  } else {
    // The configuration ports 0x2E/0x4E are shared with the kernel's own Super-I/O drivers
    // (watchdogs, other monitors) and the firmware, under a lock no program can take.
    report.hint(ports + "Chip nicht bestimmt (lumatext liest unter Linux die Konfigurationsports 0x2E/0x4E nicht: "
                "der Kernel und die Firmware benutzen sie unter einer Sperre, an der ein Programm nicht teilnimmt); " +
                FanModeText(mode) + ". Bei einem sp\u00e4teren ITE-Chip mit 16-Bit-Z\u00e4hler ist die Drehzahl "
                "falsch: dort den Treiber it87 laden (sudo modprobe it87), dann liest lumatext dessen Dateien");
  }
}

void ReportReading(const SetupFacts& facts, iow::PortIo& ports, Report& report) {
  if (!PortsGranted(facts)) {
    report.error(facts.ports_foreign.empty() ? "Messung: ohne Portzugriff nicht m\u00f6glich"
                                             : "Messung: ohne Temperatursensor nicht m\u00f6glich");
    return;
  }
  NoDevice no_device;
  platform::SystemClock clock;
  iow::OutsideLibraries lib(no_device, ports, clock);
  ReportSource(facts, lib, report);
  WindowState w;
  monitor::ReadTemperatureText(w, lib);
  const std::string temperature = w.DisplayText;
  const std::int32_t degrees = w.Reading;
  monitor::ReadFanSpeedText(w, lib);
  const std::string text = "Messung: die Laufschrift zeigt \"" + temperature + "\" und \"" + w.DisplayText + "\"";
  // A port where no chip answers reads as all ones.
  if (lib.driver() == nullptr && degrees == 0xFF && w.Reading == monitor::FanSpeed(0xFF)) {
    report.hint(text + "; beide Register lesen 255: an " + Hex(monitor::kAddressPort, 3) +
                " antwortet wohl kein ITE 8705 (anderer Chip oder andere Basisadresse)");
  } else {
    report.ok(text);
  }
}

}  // namespace

int ReportSetup(const SetupFacts& facts, iow::PortIo& ports, std::ostream& out) {
  Report report(out);
  const IowarriorNode* chosen = ChosenNode(facts);
  ReportNodes(facts, chosen, report);
  if (facts.windows) {
    ReportWindowsPorts(*facts.windows, report);
    ReportForeign(facts, report);
  } else {
    ReportUdev(facts, chosen, report);
    ReportPorts(facts, report);
    ReportIt87(facts, report);
  }
  ReportReading(facts, ports, report);
  const bool can_run = chosen != nullptr && PortsGranted(facts);
  if (can_run) {
    out << "Ergebnis: lumatext kann hier laufen.\n";
  } else {
    out << "Ergebnis: lumatext kann hier nicht laufen; die Zeilen FEHLER oben sagen, was zu tun ist.\n";
  }
  return can_run ? 0 : 1;
}

namespace {

// "coretemp:Package id 0", or "nct6798:fan2" for an input without a label.
std::string OptionName(const monitor::HwmonDevice& device, std::string_view kind, const monitor::HwmonInput& input) {
  return device.name + ":" + (input.label.empty() ? std::string(kind) + std::to_string(input.index) : input.label);
}

// Where an input is read: the hwmon file, or what the platform names its source by
// (Windows: the PawnIO module).
std::string Origin(const monitor::HwmonDevice& device, std::string_view kind, const monitor::HwmonInput& input) {
  if (!platform::IsHwmonFile(input.path)) return device.folder;
  return device.folder + "/" + std::string(kind) + std::to_string(input.index) + "_input";
}

// "52,0 'C" from millidegrees, with one decimal as the files give it.
std::string DegreesText(std::int64_t millidegrees) {
  const std::int64_t tenths = (millidegrees < 0 ? millidegrees - 50 : millidegrees + 50) / 100;
  const std::int64_t magnitude = tenths < 0 ? -tenths : tenths;
  std::string text(tenths < 0 ? "-" : "");
  text += std::to_string(magnitude / 10);
  text += ',';
  text += std::to_string(magnitude % 10);
  text += " 'C";
  return text;
}

std::string ChosenText(const std::optional<monitor::ChosenSensor>& sensor, std::string_view none) {
  if (!sensor) return std::string(none);
  return sensor->driver + ":" + (sensor->label.empty() ? sensor->input() : sensor->label) + ", " + sensor->reason;
}

}  // namespace

int ReportSensors(iow::PortIo& ports, const monitor::OwnerChoices& owner, std::ostream& out) {
  const std::vector<monitor::HwmonDevice> devices = ports.kernel_monitors();
  out << "Sensoren (Name f\u00fcr --temperature-sensor bzw. --fan-sensor, Wert, Herkunft):\n";
  for (const monitor::HwmonDevice& device : devices) {
    for (const monitor::HwmonInput& input : device.temperatures) {
      out << "  " << OptionName(device, "temp", input) << "   " << DegreesText(input.value) << "   ("
          << Origin(device, "temp", input) << ")\n";
    }
    for (const monitor::HwmonInput& input : device.fans) {
      out << "  " << OptionName(device, "fan", input) << "   " << input.value << " rpm   ("
          << Origin(device, "fan", input) << ")\n";
    }
  }
  if (devices.empty()) out << "  keine\n";
  const std::string foreign = ports.foreign_ports();
  if (foreign.empty()) {
    out << "lumatext liest den Systemmonitor an " << Hex(monitor::kAddressPort & ~7u, 3)
        << " (seine Ports oder die Dateien des Treibers it87); die Sensoren oben nur, wo dort keiner ist.\n";
    return 0;
  }
  std::string error;
  const monitor::SensorChoice choice = monitor::ChooseWithOwner(devices, owner, error);
  out << "Ports: " << foreign << ".\n";
  out << "lumatext liest die Temperatur: "
      << ChosenText(choice.temperature, "keine (" + std::string(monitor::kTemperatureSought) + ")") << "\n";
  out << "lumatext liest den L\u00fcfter: "
      << ChosenText(choice.fan, "keinen (die Laufschrift zeigt --- rpm)") << "\n";
  return choice.temperature ? 0 : 1;
}

}  // namespace app
