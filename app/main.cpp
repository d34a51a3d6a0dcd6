// lumatext: reads the CPU temperature and fan speed from the ITE 8705 and types them
// into the LED sign through the IO-Warrior.

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/form1.hpp"
#include "app/keypad_tasks.hpp"
#include "app/setup_check.hpp"
#include "monitor/sensor_choice.hpp"
#include "monitor/sensor_readings.hpp"
#include "platform/desktop.hpp"
#include "platform/device_loss.hpp"
#include "platform/diagnostics.hpp"
#include "platform/headless_window.hpp"
#include "platform/line_input.hpp"
#include "platform/service.hpp"
#include "platform/setup_facts.hpp"

namespace {

constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Aufruf: lumatext [--headless | --check | --sensors | --help | --version] [SENSOREN]\n"
    "        lumatext [--install-service | --remove-service]   (Windows)\n"
    "        lumatext --type TEXT | --test-keys\n"
    "Zeigt CPU-Temperatur und L\u00fcfterdrehzahl aus dem ITE 8705 auf der LED-Laufschrift.\n"
    "  --headless        ohne Fenster: misst sofort und l\u00e4uft bis SIGTERM, SIGINT oder SIGHUP\n"
    "                    (Windows: bis Strg+C, Strg+Untbr, Schlie\u00dfen der Konsole, Abmelden);\n"
#ifdef _WIN32
    "                    ist der IO-Warrior getrennt, endet es mit Status 4 (der Dienst startet es neu)\n"
#else
    "                    ist der IO-Warrior getrennt, wartet es, bis er wieder angesteckt ist\n"
#endif
#ifdef _WIN32
    "  --check           pr\u00fcft die Einrichtung (IO-Warrior, PawnIO, LpcIO.bin, Chip, Portzugriff) und misst einmal\n"
#else
    "  --check           pr\u00fcft die Einrichtung (IO-Warrior, udev, Portzugriff, it87) und misst einmal\n"
#endif
#ifdef _WIN32
    "  --sensors         zeigt die Temperaturen und L\u00fcfter, die PawnIOs Module lesen, und welche lumatext liest\n"
    "SENSOREN, wo kein ITE 8705 an 0x290 ist (die Namen zeigt --sensors):\n"
    "  --temperature-sensor TREIBER:NAME   die Temperatur aus diesem Sensor (z. B. cpu:package)\n"
#else
    "  --sensors         zeigt die Temperaturen und L\u00fcfter, die der Kernel anbietet, und welche lumatext liest\n"
    "SENSOREN, wo kein ITE 8705 an 0x290 ist (die Namen zeigt --sensors):\n"
    "  --temperature-sensor TREIBER:NAME   die Temperatur aus diesem Sensor (z. B. coretemp:Package id 0)\n"
#endif
    "  --fan-sensor TREIBER:NAME           den L\u00fcfter aus diesem Sensor (z. B. nct6798:fan2)\n"
    "  --type TEXT       tippt TEXT einmal in die Laufschrift und endet; TEXT: 1 bis 100 Zeichen aus\n"
    "                    A-Z, a-z, 0-9, Leerzeichen und !\"#$%&'()*+,-./:;<=>?@\n"
    "  --test-keys       dr\u00fcckt jede der vier Tasten einzeln, jeweils nach Enter, und sagt, was die\n"
    "                    Laufschrift dann zeigen soll: zum Pr\u00fcfen der Verdrahtung\n"
    "  --install-service richtet den Windows-Dienst lumatext ein (automatisch, verz\u00f6gert)\n"
    "  --remove-service  h\u00e4lt den Windows-Dienst an und entfernt ihn\n";

enum class Mode { kWindow, kHeadless, kCheck, kSensors, kService, kInstallService, kRemoveService, kType, kTestKeys };

struct ModeName {
  std::string_view arg;
  Mode mode;
};
// --service is what the Service Control Manager starts; nobody types it.
constexpr ModeName kModes[] = {{"--headless", Mode::kHeadless},
                               {"--check", Mode::kCheck},
                               {"--sensors", Mode::kSensors},
                               {"--service", Mode::kService},
                               {"--install-service", Mode::kInstallService},
                               {"--remove-service", Mode::kRemoveService},
                               {"--test-keys", Mode::kTestKeys}};

// Form1 without a window on the real clock, until it is asked to end. Nobody watches
// it: a lost IO-Warrior is waited for where the platform can, and then Form1 starts
// afresh, as a new program would (the keys released, the temperature text from its
// start); elsewhere the loss ends the program (status 4), for its supervisor to start
// it again.
int RunUnattended(platform::Hardware& hardware) {
  const auto clock = platform::OpenRealClock();
  const bool awaits = hardware.awaits_device();
  for (;;) {
    const auto watch = hardware.watch_device(*clock);
    platform::HeadlessWindow window(*clock, watch.get());
    platform::EndOnDeviceLoss kit(hardware.iowkit());
    iow::OutsideLibraries lib(kit, hardware.ports(), *clock);
    app::Form1 form(lib, window, window, awaits ? app::kDeviceLostAwaited : app::kDeviceLost);
    const int status = form.Run();
    if (status != app::kExitDeviceLost || !awaits) return status;
    try {
      hardware.await_device();
    } catch (const platform::ProgramEnd& end) {
      return end.status;
    }
    platform::Diagnostic("lumatext: " + std::string(app::kDeviceBack));
  }
}

// One key task on the real IO-Warrior, on the real clock; a lost IO-Warrior ends it
// (status 4). Messages go to standard error, as without a desktop.
int RunKeypadTask(platform::Hardware& hardware, const app::KeypadSession::Task& task) {
  const auto clock = platform::OpenRealClock();
  platform::HeadlessWindow window(*clock);
  platform::EndOnDeviceLoss kit(hardware.iowkit());
  iow::OutsideLibraries lib(kit, hardware.ports(), *clock);
  app::KeypadSession session(lib, window);
  return session.Run(task);
}

// A refused command line: what was wrong, and where the options are listed.
int Refuse(std::string_view what) {
  std::fprintf(stderr, "lumatext: %.*s\nAlle Optionen: lumatext --help\n", static_cast<int>(what.size()), what.data());
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // The monitor's ports before anything else: every privilege is gone before a library
  // (X, fontconfig, the toolkit) runs.
  const auto hardware = platform::OpenHardware(monitor::kAddressPort, monitor::kPortCount);

  Mode mode = Mode::kWindow;
  std::string typed;
  monitor::OwnerChoices owner;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    bool sensor_option = false;
    for (auto [name, into] : {std::pair{std::string_view("--temperature-sensor"), &owner.temperature},
                              std::pair{std::string_view("--fan-sensor"), &owner.fan}}) {
      if (arg != name && !(arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=')) continue;
      if (arg == name && i + 1 >= argc) return Refuse(std::string(name) + ": Sensor fehlt (TREIBER:NAME)");
      *into = arg == name ? argv[++i] : std::string(arg.substr(name.size() + 1));
      sensor_option = true;
    }
    if (sensor_option) continue;
    if (arg == "--type" || arg.starts_with("--type=")) {
      if (arg == "--type" && i + 1 >= argc) return Refuse("--type: Text fehlt");
      typed = arg == "--type" ? argv[++i] : std::string(arg.substr(7));
      // Checked before anything is opened: a text the sign cannot show types nothing.
      if (const auto refusal = app::RefuseTypedText(typed)) return Refuse("--type: " + *refusal);
      mode = Mode::kType;
      continue;
    }
    if (arg == "--version") {
      std::printf("lumatext %s\n", LUMATEXT_VERSION);
      return 0;
    }
    const auto named = std::find_if(std::begin(kModes), std::end(kModes), [&](const ModeName& m) { return m.arg == arg; });
    if (named != std::end(kModes)) {
      mode = named->mode;
      continue;
    }
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    return Refuse(std::string(arg) + ": unbekannte Option");
  }

  // Where the readings come from where the ports turn out not to be the ITE monitor's:
  // the kernel's monitors. An owner's choice the kernel does not offer is a refused
  // command line. Registering the service looks at no hardware: the service checks its
  // choices when it starts, as the Linux unit does.
  const bool registering = mode == Mode::kInstallService || mode == Mode::kRemoveService;
  if (hardware && !registering) {
    if (const std::string error = monitor::ChooseReadingSource(hardware->ports(), owner); !error.empty()) {
      return Refuse(error);
    }
  }
  // The reports say what the program would read: whether the ITE monitor answers is asked
  // now (the program itself asks once it holds its IO-Warrior).
  if (hardware && (mode == Mode::kSensors || mode == Mode::kCheck)) hardware->ports().identify();
  if (mode == Mode::kSensors) {
    if (!hardware) {
      platform::Diagnostic("lumatext: --sensors gibt es in diesem Build nicht");
      return app::kExitStartFailed;
    }
    std::ostringstream report;
    const int status = app::ReportSensors(hardware->ports(), owner, report);
    platform::WriteOutput(report.str());
    return status;
  }
  if (mode == Mode::kCheck) {
    const auto probe = platform::OpenSetupProbe(hardware ? hardware->port_access() : platform::PortAccess{});
    if (!probe) {
      platform::Diagnostic("lumatext: --check gibt es in diesem Build nicht");
      return app::kExitStartFailed;
    }
    std::ostringstream report;
    // The ports are the probe's only after it has collected: one statement would leave the order open.
    const platform::SetupFacts facts = probe->collect();
    const int status = app::ReportSetup(facts, probe->ports(), report);
    platform::WriteOutput(report.str());
    return status;
  }
  if (mode == Mode::kInstallService) {
    // The owner's sensor choices go with the service, each as one argument.
    std::vector<std::string> choices;
    if (!owner.temperature.empty()) choices.push_back("--temperature-sensor=" + owner.temperature);
    if (!owner.fan.empty()) choices.push_back("--fan-sensor=" + owner.fan);
    return platform::InstallService(platform::ServiceArguments({choices.begin(), choices.end()}));
  }
  if (mode == Mode::kRemoveService) return platform::RemoveService();
  if (!hardware) {
    platform::Diagnostic("lumatext: dieser Build hat keinen Hardwarezugriff; lumatext-sim --headless benutzen");
    return app::kExitStartFailed;
  }
  if (mode == Mode::kHeadless) return platform::RunHeadless([&] { return RunUnattended(*hardware); });
  if (mode == Mode::kService) return platform::RunService([&] { return RunUnattended(*hardware); });
  if (mode == Mode::kType) {
    platform::WriteOutput(app::TypingAnnouncement(typed));
    return platform::RunHeadless([&] { return RunKeypadTask(*hardware, app::TypeTextTask(typed)); });
  }
  if (mode == Mode::kTestKeys) {
    return platform::RunHeadless([&] {
      const auto input = platform::OpenStandardInput();
      return RunKeypadTask(*hardware, app::TestKeysTask(*input, platform::WriteOutput));
    });
  }
#ifdef LUMATEXT_CONSOLE
  // Typed into a console without an argument: the window is the windowed program's, which
  // asks for its rights itself; the console gets its prompt back at once.
  return platform::StartWindowedProgram(argc, argv) ? 0 : app::kExitStartFailed;
#else
  const auto desktop = platform::OpenDesktop(app::kForm1Layout);
  if (!desktop) {
    platform::Diagnostic("lumatext: kein Fenster m\u00f6glich; ohne Fenster: lumatext --headless");
    return app::kExitStartFailed;
  }
  iow::OutsideLibraries lib(hardware->iowkit(), hardware->ports(), desktop->clock());
  app::Form1 form(lib, desktop->events(), desktop->window());
  return form.Run();
#endif
}
