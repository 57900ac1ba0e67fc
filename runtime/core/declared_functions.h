// Operating-system functions that the application declares by name and the
// runtime binds on first use (searching the system libraries), caching the
// address.  A function that cannot be found is a run-time error.
#pragma once

#include <cstdint>

enum DeclaredFunctionIndex : int {
  kDeclaredCreateThread = 0,
  kDeclaredCloseHandle = 1,
  kDeclaredCreateFileA = 2,
  kDeclaredGlobalAlloc = 3,
  kDeclaredReadDirectoryChangesW = 4,
  kDeclaredGlobalFree = 5,
  kDeclaredWideCharToMultiByte = 6,
  kDeclaredCreateWaitableTimerA = 7,
  kDeclaredSetWaitableTimer = 8,
  kDeclaredMsgWaitForMultipleObjects = 9,
  kDeclaredCloseHandleAgain = 10,
  kDeclaredFunctionCount = 11,
};

// Calls declared function `index` with the given word-sized arguments (in
// order) and returns its pointer-sized result (for a function with a 32-bit
// result only the low 32 bits mean anything on the 64-bit build).  Resolves
// it on first use.
// The 32-bit build checks that the callee removed exactly its arguments
// from the stack and raises run-time error 6 otherwise.
std::intptr_t DeclaredFunctionCallWords(int index, const std::uintptr_t* arguments, int count);

template <class... Args>
std::intptr_t DeclaredFunctionCall(int index, Args... args) {
  const std::uintptr_t words[] = {0, (std::uintptr_t)(args)...};
  return DeclaredFunctionCallWords(index, words + 1, static_cast<int>(sizeof...(Args)));
}
