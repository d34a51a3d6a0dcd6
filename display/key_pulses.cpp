#include "display/key_pulses.hpp"

namespace display {
namespace {

// Copies the port values into the report and sends its first three bytes; the
// result of the write is not examined.
void WriteReport(WindowState& w, iow::OutsideLibraries& lib) {
  w.Report[0] = 0x00;
  w.Report[1] = w.Port0Value;
  w.Report[2] = w.Port1Value;
  lib.IowKitWrite(w.DeviceHandle, kPinsPipe, w.Report.data(), kReportLength);
}

void Release(WindowState& w, iow::OutsideLibraries& lib) {
  w.Port0Value = kAllReleased;
  w.Port1Value = kAllReleased;
  WriteReport(w, lib);
}

void PressKey(WindowState& w, iow::OutsideLibraries& lib, const Pulse& pulse) {
  w.Port1Value = pulse.pressed;
  WriteReport(w, lib);
  lib.DELAY(pulse.hold);
  Release(w, lib);
}

}  // namespace

void ReleaseAllKeys(WindowState& w, iow::OutsideLibraries& lib) {
  Release(w, lib);
  lib.DELAY(kReleaseSettle);
}

void PressStartEntry(WindowState& w, iow::OutsideLibraries& lib) { PressKey(w, lib, kStartEntry); }
void PressNextPosition(WindowState& w, iow::OutsideLibraries& lib) { PressKey(w, lib, kNextPosition); }
void PressCharForward(WindowState& w, iow::OutsideLibraries& lib) { PressKey(w, lib, kCharForward); }
void PressCharBack(WindowState& w, iow::OutsideLibraries& lib) { PressKey(w, lib, kCharBack); }
void PressFinishEntry(WindowState& w, iow::OutsideLibraries& lib) { PressKey(w, lib, kFinishEntry); }

}  // namespace display
