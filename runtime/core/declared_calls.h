// Typed fronts of the declared-function table.  The table passes every
// argument as a machine word, so a wrong argument would compile; each entry
// the program calls is reached through one of these instead, with the
// system's own parameter types.  The table and its binding rules stay as
// they are: these only convert and forward.  Windows only.
#pragma once

#include <windows.h>

#include "runtime/core/declared_functions.h"

inline HANDLE DeclaredCreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                                   LPTHREAD_START_ROUTINE body, LPVOID parameter, DWORD flags,
                                   LPDWORD threadId) {
  return reinterpret_cast<HANDLE>(
      DeclaredFunctionCall(kDeclaredCreateThread, attributes, stackSize, body, parameter, flags, threadId));
}

inline BOOL DeclaredCloseHandle(HANDLE handle) {
  return static_cast<BOOL>(DeclaredFunctionCall(kDeclaredCloseHandle, handle));
}

// The same function bound through its second table row.
inline BOOL DeclaredCloseHandleAgain(HANDLE handle) {
  return static_cast<BOOL>(DeclaredFunctionCall(kDeclaredCloseHandleAgain, handle));
}

inline HANDLE DeclaredCreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
  return reinterpret_cast<HANDLE>(DeclaredFunctionCall(kDeclaredCreateFileA, path, access, shareMode,
                                                       security, disposition, flags, templateFile));
}

inline HGLOBAL DeclaredGlobalAlloc(UINT flags, SIZE_T bytes) {
  return reinterpret_cast<HGLOBAL>(DeclaredFunctionCall(kDeclaredGlobalAlloc, flags, bytes));
}

inline HGLOBAL DeclaredGlobalFree(HGLOBAL block) {
  return reinterpret_cast<HGLOBAL>(DeclaredFunctionCall(kDeclaredGlobalFree, block));
}

inline BOOL DeclaredReadDirectoryChangesW(HANDLE folder, LPVOID buffer, DWORD bufferBytes, BOOL watchSubtree,
                                          DWORD notifyFilter, LPDWORD bytesReturned, LPOVERLAPPED overlapped,
                                          LPOVERLAPPED_COMPLETION_ROUTINE completion) {
  return static_cast<BOOL>(DeclaredFunctionCall(kDeclaredReadDirectoryChangesW, folder, buffer, bufferBytes,
                                                watchSubtree, notifyFilter, bytesReturned, overlapped,
                                                completion));
}

inline int DeclaredWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount,
                                       LPSTR multiByte, int multiByteCount, LPCCH defaultChar,
                                       LPBOOL usedDefaultChar) {
  return static_cast<int>(DeclaredFunctionCall(kDeclaredWideCharToMultiByte, codePage, flags, wide, wideCount,
                                               multiByte, multiByteCount, defaultChar, usedDefaultChar));
}

inline HANDLE DeclaredCreateWaitableTimerA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, LPCSTR name) {
  return reinterpret_cast<HANDLE>(
      DeclaredFunctionCall(kDeclaredCreateWaitableTimerA, security, manualReset, name));
}

inline BOOL DeclaredSetWaitableTimer(HANDLE timer, const LARGE_INTEGER* due, LONG periodMs,
                                     PTIMERAPCROUTINE completion, LPVOID completionArgument, BOOL resume) {
  return static_cast<BOOL>(DeclaredFunctionCall(kDeclaredSetWaitableTimer, timer, due, periodMs, completion,
                                                completionArgument, resume));
}

inline DWORD DeclaredMsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                               DWORD milliseconds, DWORD wakeMask) {
  return static_cast<DWORD>(DeclaredFunctionCall(kDeclaredMsgWaitForMultipleObjects, count, handles, waitAll,
                                                 milliseconds, wakeMask));
}
