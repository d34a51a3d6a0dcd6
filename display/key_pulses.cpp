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
  // Released as soon as the report is out, even if the write then ends the program.
  w.KeyHeld = false;
  WriteReport(w, lib);
}

void PressKey(WindowState& w, iow::OutsideLibraries& lib, const Pulse& pulse) {
  w.Port1Value = pulse.pressed;
  w.KeyHeld = true;
  WriteReport(w, lib);
  lib.DELAY(pulse.hold);
  Release(w, lib);
}

}  // namespace

void ReleaseAllKeys(WindowState& w, iow::OutsideLibraries& lib) {
  Release(w, lib);
  lib.DELAY(kReleaseSettle);
}

void PressStartEntry(WindowState& w, iow::OutsideLibraries& lib) {
  w.EntryOpen = true;
  PressKey(w, lib, kStartEntry);
}
void PressNextPosition(WindowState& w, iow::OutsideLibraries& lib) { PressKey(w, lib, kNextPosition); }
void PressCharForward(WindowState& w, iow::OutsideLibraries& lib) { PressKey(w, lib, kCharForward); }
void PressCharBack(WindowState& w, iow::OutsideLibraries& lib) { PressKey(w, lib, kCharBack); }
void PressFinishEntry(WindowState& w, iow::OutsideLibraries& lib) {
  // Once pressed, the key closes entry when it is released, however the release comes.
  w.EntryOpen = false;
  PressKey(w, lib, kFinishEntry);
}

void LeaveKeypadAtRest(WindowState& w, iow::OutsideLibraries& lib) {
  if (w.KeyHeld) Release(w, lib);
  if (w.EntryOpen) {
    lib.DELAY(kGap);
    PressFinishEntry(w, lib);
  }
}

}  // namespace display
