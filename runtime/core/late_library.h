// A system library loaded when it is first needed instead of with the
// program: every library the executable imports is loaded and initialised
// before the first window can show, and under Wine some (OLE, WinINet,
// Winsock) cost more than the whole window.  Its functions are looked up by
// name and stay valid while the object lives.
#pragma once

#include <windows.h>

#include "runtime/core/handles.h"

class LateLibrary {
 public:
  LateLibrary() = default;
  explicit LateLibrary(const char* fileName) : module_(LoadLibraryA(fileName)) {}

  explicit operator bool() const { return module_.Valid(); }

  // The export `name` as a `Function` (the declaration's type: decltype(&Name)),
  // or null when the library or the export is missing.
  template <class Function>
  Function Find(const char* name) const {
    if (!module_) return nullptr;
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_.Get(), name)));
  }

 private:
  ModuleHandle module_;
};
