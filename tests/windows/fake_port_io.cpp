// A port I/O DLL for the tests: exports the calls of IO.DLL and of inpout, records
// every write, and answers reads from a table the test fills in.

#include <windows.h>

namespace {

constexpr int kPorts = 0x10000;
unsigned short g_in[kPorts];
int g_last_out_port = -1;
int g_last_out_value = -1;
int g_outs = 0;
BOOL g_driver_open = TRUE;

unsigned short Index(short port) { return static_cast<unsigned short>(port); }

}  // namespace

extern "C" {

// IO.DLL
__declspec(dllexport) void WINAPI PortOut(short port, char value) {
  g_last_out_port = Index(port);
  g_last_out_value = static_cast<unsigned char>(value);
  ++g_outs;
}
__declspec(dllexport) char WINAPI PortIn(short port) { return static_cast<char>(g_in[Index(port)] & 0xFF); }

// inpout32.dll / inpoutx64.dll
__declspec(dllexport) void WINAPI Out32(short port, short value) {
  g_last_out_port = Index(port);
  g_last_out_value = static_cast<unsigned short>(value);
  ++g_outs;
}
__declspec(dllexport) short WINAPI Inp32(short port) { return static_cast<short>(g_in[Index(port)]); }
__declspec(dllexport) BOOL WINAPI IsInpOutDriverOpen() { return g_driver_open; }

// For the tests.
__declspec(dllexport) void FakeSetIn(int port, int value) { g_in[port & 0xFFFF] = static_cast<unsigned short>(value); }
__declspec(dllexport) void FakeSetDriverOpen(BOOL open) { g_driver_open = open; }
__declspec(dllexport) int FakeLastOut(int* port, int* value) {
  *port = g_last_out_port;
  *value = g_last_out_value;
  return g_outs;
}

}  // extern "C"
