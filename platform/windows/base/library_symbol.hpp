#pragma once
// Functions looked up in a DLL at run time.

#include <windows.h>

namespace platform::windows {

// `symbol`, as GetProcAddress returns it, as a `Function` pointer.
template <typename Function>
Function FunctionCast(FARPROC symbol) {
  // Through a generic function pointer type, which converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(symbol));
}

// The function `name` of `module` as a `Function` pointer; null when the DLL lacks it.
template <typename Function>
Function Symbol(HMODULE module, const char* name) {
  return FunctionCast<Function>(GetProcAddress(module, name));
}

}  // namespace platform::windows
