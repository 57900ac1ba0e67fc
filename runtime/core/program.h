// Process start and end: the program folder as current folder, the hidden
// message window that receives end requests from other threads, the
// application's on-exit routine and the orderly shutdown.
#pragma once

#include <windows.h>

#include <cstdint>

#include "runtime/core/text.h"

// Private message sent to the hidden window to end the program from another
// thread; wParam holds the exit code.
constexpr UINT kProgramEndMessage = 0x83E7;

using OnExitRoutine = void (*)();
using ShutdownListener = void (*)();

// Start-up of the runtime, on the thread that becomes the window thread:
// current folder = program folder, hidden message window, main thread
// id, declared-function table; OLE later (OleStartSoon).  Call once,
// before any window exists.
void RuntimeStart();

// Ends the process with exitCode.  On the window thread it runs the orderly
// shutdown first; from another thread it forwards the request to the window
// thread (or, when that cannot be done, ends the process at once).
[[noreturn]] void ProgramEnd(int exitCode);

// The application's routine run once during the orderly shutdown.
void OnExitRoutineRegister(OnExitRoutine routine);
void OnExitRoutineForget();

// The window manager's shutdown runs first, before the on-exit routine; the
// runtime libraries (e.g. the thread library) are told after it, in
// registration order.
void WindowManagerShutdownSet(ShutdownListener listener);
void ShutdownListenerAdd(ShutdownListener listener);

// Starts the socket library once for the process; the orderly shutdown
// releases it.  False when it cannot be started.
bool SocketLibraryStart();
// Initialises OLE from the window thread's message loop, soon after the
// call: the program calls it once its first window shows, so that loading
// OLE does not hold up that window.  Released at program end.
void OleStartSoon();

DWORD MainThreadId();
HWND HiddenMessageWindow();
bool ProgramEnding();
// The executable's folder (no trailing backslash) and file name.
// ProgramFolderEnter finds them and makes the folder the current folder;
// RuntimeStart calls it.
void ProgramFolderEnter();
const Text& ProgramFolder();
const Text& ProgramFileName();
