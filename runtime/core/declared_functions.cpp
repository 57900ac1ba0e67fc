#include "runtime/core/declared_functions.h"

#include <windows.h>

#include <array>
#include <cstdio>

#include "runtime/core/declared_function_binding.h"
#include "runtime/core/program.h"
#include "runtime/core/runtime_error.h"
#include "runtime/core/text.h"

const std::string_view kSystemLibrarySearchList[6] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                                      "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};

namespace {

// The functions this program declares, by index; none names a library.
constexpr std::array<std::string_view, kDeclaredFunctionCount> kDeclaredNames = {"CreateThread",
                                                                                 "CloseHandle",
                                                                                 "CreateFileA",
                                                                                 "GlobalAlloc",
                                                                                 "ReadDirectoryChangesW",
                                                                                 "GlobalFree",
                                                                                 "WideCharToMultiByte",
                                                                                 "CreateWaitableTimerA",
                                                                                 "SetWaitableTimer",
                                                                                 "MsgWaitForMultipleObjects",
                                                                                 "CloseHandle"};

std::array<DeclaredFunctionRow, kDeclaredFunctionCount> gTable;

HMODULE LibraryLoadPlain(const char* fileName) { return LoadLibraryA(fileName); }
NativeFunction ExportFindPlain(HMODULE module, const char* nameOrOrdinal) {
  return reinterpret_cast<NativeFunction>(GetProcAddress(module, nameOrOrdinal));
}
void LibraryReleasePlain(HMODULE module) { FreeLibrary(module); }

// The name to hand to GetProcAddress: the text itself, or for "#n" the
// ordinal n (mod 65536) in the form MAKEINTRESOURCE gives it.
struct ExportKey {
  Text name;
  bool byOrdinal = false;
  WORD ordinal = 0;
  const char* Get() const { return byOrdinal ? MAKEINTRESOURCEA(ordinal) : name.c_str(); }
};

ExportKey ExportKeyOf(std::string_view exportedName) {
  ExportKey key;
  key.name = MakeText(exportedName);
  if (exportedName.size() < 2 || exportedName[0] != '#') return key;
  std::uint32_t ordinal = 0;
  for (const char digit : exportedName.substr(1)) {
    if (digit < '0' || digit > '9') return key;  // not a number: an ordinary name
    ordinal = (ordinal * 10 + static_cast<std::uint32_t>(digit - '0')) % 65536;
  }
  key.byOrdinal = true;
  key.ordinal = static_cast<WORD>(ordinal);
  return key;
}

// Searches the system libraries in order; a library that lacks the export
// is released again at once.
NativeFunction SystemLibrariesSearch(const ExportKey& key, const LibraryLoader& loader, HMODULE& found) {
  for (const std::string_view library : kSystemLibrarySearchList) {
    const HMODULE module = loader.load(MakeText(library).c_str());
    if (module == nullptr) continue;
    if (const NativeFunction address = loader.find(module, key.Get())) {
      found = module;
      return address;
    }
    loader.release(module);
  }
  return nullptr;
}

// A named library: the program folder first (unless the name is an absolute
// path), then the system's own search order.
NativeFunction NamedLibrarySearch(std::string_view library, const ExportKey& key, const LibraryLoader& loader,
                                  HMODULE& found) {
  const Text fileName = MakeText(library);
  HMODULE module = nullptr;
  if (fileName.find(':') == Text::npos) {
    const Text local = ProgramFolder() + "\\" + fileName;
    module = loader.load(local.c_str());
  }
  if (module == nullptr) module = loader.load(fileName.c_str());
  if (module == nullptr) return nullptr;
  if (const NativeFunction address = loader.find(module, key.Get())) {
    found = module;
    return address;
  }
  loader.release(module);
  return nullptr;
}

[[noreturn]] void NotFoundRaise(const DeclaredFunctionRow& row) {
  Text message;
  if (row.library.empty()) {
    message = "无法找到指定DLL库文件中的输出命令“";
  } else {
    message = "无法找到指定DLL库文件“";
    message += row.library;
    message += "”中的输出命令“";
  }
  message += row.exportedName;
  message += "”";
  RuntimeErrorRaise(message);
}

}  // namespace

const LibraryLoader& SystemLibraryLoader() {
  static const LibraryLoader loader{LibraryLoadPlain, ExportFindPlain, LibraryReleasePlain};
  return loader;
}

NativeFunction DeclaredFunctionResolve(DeclaredFunctionRow& row, const LibraryLoader& loader) {
  if (const NativeFunction cached = row.address.load()) return cached;
  const ExportKey key = ExportKeyOf(row.exportedName);
  HMODULE module = nullptr;
  const NativeFunction address = row.library.empty() ? SystemLibrariesSearch(key, loader, module)
                                                     : NamedLibrarySearch(row.library, key, loader, module);
  if (address == nullptr) NotFoundRaise(row);

  // Two threads may resolve the same row at once: the first to store wins
  // and the other gives its extra reference on the module back.
  NativeFunction expected = nullptr;
  if (!row.address.compare_exchange_strong(expected, address)) {
    loader.release(module);
    return expected;
  }
  row.module.store(module);
  return address;
}

std::intptr_t DeclaredFunctionRowCall(DeclaredFunctionRow& row, const std::uintptr_t* arguments, int count) {
  const NativeFunction function = DeclaredFunctionResolve(row);
  if (count < 0 || count > kNativeCallMaxArguments) RuntimeErrorRaise({}, kErrorStackImbalance);
  const NativeCallResult result = NativeCallWords(function, arguments, count);
  if (!result.stackBalanced)
    RuntimeErrorRaise(RuntimeErrorCodeText(kErrorStackImbalance), kErrorStackImbalance);
  return result.value;
}

void DeclaredFunctionRowRelease(DeclaredFunctionRow& row, const LibraryLoader& loader) {
  row.address.store(nullptr);
  if (const HMODULE module = row.module.exchange(nullptr)) loader.release(module);
}

DeclaredFunctionRow& DeclaredFunctionTableRow(int index) { return gTable[static_cast<std::size_t>(index)]; }

void DeclaredFunctionTableFill() {
  for (std::size_t i = 0; i < gTable.size(); ++i) {
    DeclaredFunctionRowRelease(gTable[i]);
    gTable[i].library = {};
    gTable[i].exportedName = kDeclaredNames[i];
  }
}

void DeclaredFunctionModulesRelease() {
  for (DeclaredFunctionRow& row : gTable) DeclaredFunctionRowRelease(row);
}

std::intptr_t DeclaredFunctionCallWords(int index, const std::uintptr_t* arguments, int count) {
  if (index < 0 || index >= kDeclaredFunctionCount) {
    RuntimeErrorRaise(RuntimeErrorCodeText(kErrorIndexOutOfRange), kErrorIndexOutOfRange);
  }
  return DeclaredFunctionRowCall(gTable[static_cast<std::size_t>(index)], arguments, count);
}
