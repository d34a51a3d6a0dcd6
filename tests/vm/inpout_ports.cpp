// A port I/O DLL for the virtual machine only: Out32/Inp32 (inpout) and PortOut/PortIn
// (IO.DLL) execute the port instructions themselves. They run where the process holds
// the ports' permission (under Wine: ioperm, granted before Wine started); anywhere
// else they fault. Built by the tests for the machine, never shipped.

#include <windows.h>

namespace {

void OutByte(unsigned short port, unsigned char value) { asm volatile("outb %0, %1" : : "a"(value), "Nd"(port)); }

unsigned char InByte(unsigned short port) {
  unsigned char value = 0;
  asm volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

}  // namespace

extern "C" {

// inpout32.dll / inpoutx64.dll
__declspec(dllexport) void WINAPI Out32(short port, short value) {
  OutByte(static_cast<unsigned short>(port), static_cast<unsigned char>(value));
}
__declspec(dllexport) short WINAPI Inp32(short port) { return InByte(static_cast<unsigned short>(port)); }
// The permission is the process's own: there is no driver to be closed.
__declspec(dllexport) BOOL WINAPI IsInpOutDriverOpen() { return TRUE; }

// IO.DLL
__declspec(dllexport) void WINAPI PortOut(short port, char value) {
  OutByte(static_cast<unsigned short>(port), static_cast<unsigned char>(value));
}
__declspec(dllexport) char WINAPI PortIn(short port) {
  return static_cast<char>(InByte(static_cast<unsigned short>(port)));
}

}  // extern "C"
