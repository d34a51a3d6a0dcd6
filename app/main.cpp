// lumatext: reads the CPU temperature and fan speed from the ITE 8705 and types them
// into the LED sign through the IO-Warrior.

#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/form1.hpp"
#include "app/setup_check.hpp"
#include "monitor/sensor_readings.hpp"
#include "platform/desktop.hpp"
#include "platform/diagnostics.hpp"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("lumatext %s\n", LUMATEXT_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--check") == 0) {
      const auto probe =
          platform::OpenSetupProbe(platform::AcquirePortAccess(monitor::kAddressPort, monitor::kPortCount));
      if (!probe) platform::Diagnostic("lumatext: --check gibt es nur unter Linux");
      return probe ? app::ReportSetup(probe->collect(), probe->ports(), std::cout) : 1;
    }
    std::printf("Aufruf: lumatext [--help | --version | --check]\n"
                "Zeigt CPU-Temperatur und L\u00fcfterdrehzahl aus dem ITE 8705 auf der LED-Laufschrift.\n");
    return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
  }
  platform::DesktopSettings settings;
  settings.form = app::kForm1Layout;
  const auto desktop = platform::OpenDesktop(settings);
  const auto hardware = platform::OpenHardware();
  if (!desktop || !hardware) {
    platform::Diagnostic(hardware ? "lumatext: kein Fenster m\u00f6glich"
                                  : "lumatext: dieser Build hat keinen Hardwarezugriff; lumatext-sim --headless benutzen");
    return 1;
  }
  iow::OutsideLibraries lib(hardware->iowkit(), hardware->ports(), desktop->clock());
  app::Form1 form(lib, desktop->events(), desktop->window());
  return form.Run();
}
