// The binding behind DeclaredFunctionCall: one row per declared function,
// resolved on first use and cached, with the library loader as a parameter.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string_view>

#include "runtime/core/native_call.h"

struct DeclaredFunctionRow {
  std::string_view library;       // empty: search the system libraries
  std::string_view exportedName;  // "#17" means ordinal 17 (taken mod 65536)
  // Word-sized so that two threads resolving the same row at once leave it
  // consistent without a lock.
  std::atomic<NativeFunction> address{nullptr};
  std::atomic<HMODULE> module{nullptr};
};

// How libraries are loaded and searched (SystemLibraryLoader: the system's own).
struct LibraryLoader {
  HMODULE (*load)(const char* fileName);
  NativeFunction (*find)(HMODULE module, const char* nameOrOrdinal);
  void (*release)(HMODULE module);
};
const LibraryLoader& SystemLibraryLoader();

// The libraries searched, in order, for a row without a library name.
extern const std::string_view kSystemLibrarySearchList[6];

// Resolves the row (or returns its cached address).  A function that cannot
// be found is a run-time error naming it.
NativeFunction DeclaredFunctionResolve(DeclaredFunctionRow& row,
                                       const LibraryLoader& loader = SystemLibraryLoader());
// Resolves and calls the row; on the 32-bit build an unbalanced stack after
// the call is run-time error 6.
std::intptr_t DeclaredFunctionRowCall(DeclaredFunctionRow& row, const std::uintptr_t* arguments, int count);
// Releases the row's module and forgets its address.
void DeclaredFunctionRowRelease(DeclaredFunctionRow& row,
                                const LibraryLoader& loader = SystemLibraryLoader());

// The program's table.
DeclaredFunctionRow& DeclaredFunctionTableRow(int index);
// Start-up: fills the table from the program's declarations, nothing resolved.
void DeclaredFunctionTableFill();
// Program end: releases every module loaded for the table and clears it.
void DeclaredFunctionModulesRelease();
