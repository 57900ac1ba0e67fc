#include <winsock2.h>
#include <ole2.h>
#include <windows.h>

#include <array>
#include <atomic>

#include "runtime/core/allocator.h"
#include "runtime/core/declared_function_binding.h"
#include "runtime/core/critical_sections.h"
#include "runtime/core/late_library.h"
#include "runtime/core/startup_marks.h"
#include "runtime/core/program.h"

namespace {

constexpr std::size_t kMaxListeners = 8;

// OLE is initialised once the first window shows, not before: loading it
// (with RPC and COM) costs more at start than the whole main window.
constexpr UINT kOleStartMessage = WM_APP + 0x71;

struct RuntimeState {
  DWORD mainThreadId = 0;
  HWND hiddenWindow = nullptr;
  LateLibrary ole;      // loaded when OLE is initialised
  LateLibrary sockets;  // loaded when the socket library is first started
  bool oleInitialised = false;
  std::atomic<bool> socketsStarted{false};
  std::atomic<OnExitRoutine> onExit{nullptr};
  std::atomic<bool> ending{false};
  ShutdownListener windowManagerShutdown = nullptr;
  std::array<ShutdownListener, kMaxListeners> listeners{};
  std::size_t listenerCount = 0;
};

RuntimeState& State() {
  static RuntimeState state;
  return state;
}

void OleStart() {
  RuntimeState& state = State();
  if (state.oleInitialised || state.ending.load()) return;
  StartupMark("ole");
  state.ole = LateLibrary("ole32.dll");
  const auto initialise = state.ole.Find<decltype(&OleInitialize)>("OleInitialize");
  state.oleInitialised = initialise != nullptr && SUCCEEDED(initialise(nullptr));
}

LRESULT CALLBACK HiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProgramEndMessage) ProgramEnd(static_cast<int>(wParam));
  if (message == kOleStartMessage) {
    OleStart();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND HiddenWindowCreate() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HiddenWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "EERuntimeHiddenWindow";
  RegisterClassA(&windowClass);
  return CreateWindowExA(WS_EX_TOOLWINDOW, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                         nullptr, windowClass.hInstance, nullptr);
}

// The executable's read-only data: constant texts and the window templates.
void ReadOnlyDataRangeAdd() {
  auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const DWORD flags = section->Characteristics;
    const bool readOnlyData = (flags & IMAGE_SCN_CNT_INITIALIZED_DATA) && !(flags & IMAGE_SCN_MEM_WRITE) &&
                              !(flags & IMAGE_SCN_MEM_EXECUTE);
    if (!readOnlyData) continue;
    const unsigned char* start = base + section->VirtualAddress;
    StaticBlockRangeAdd(start, start + section->Misc.VirtualSize);
  }
}

}  // namespace

void RuntimeStart() {
  RuntimeState& state = State();
  ReadOnlyDataRangeAdd();
  ProgramFolderEnter();
  state.hiddenWindow = HiddenWindowCreate();
  state.mainThreadId = GetCurrentThreadId();
  DeclaredFunctionTableFill();
  ShutdownListenerAdd(CriticalSectionsShutdown);
}

void ProgramEnd(int exitCode) {
  RuntimeState& state = State();
  if (GetCurrentThreadId() != state.mainThreadId) {
    if (state.hiddenWindow != nullptr && !state.ending.load()) {
      SendMessageA(state.hiddenWindow, kProgramEndMessage, static_cast<WPARAM>(exitCode), 0);
    }
    ExitProcess(static_cast<UINT>(exitCode));
  }
  if (state.ending.exchange(true)) ExitProcess(static_cast<UINT>(exitCode));

  if (state.windowManagerShutdown != nullptr) state.windowManagerShutdown();
  if (OnExitRoutine routine = state.onExit.exchange(nullptr)) routine();
  for (std::size_t i = 0; i < state.listenerCount; ++i) state.listeners[i]();
  DeclaredFunctionModulesRelease();
  if (state.hiddenWindow != nullptr) DestroyWindow(state.hiddenWindow);
  if (state.socketsStarted.load()) {
    if (const auto cleanup = state.sockets.Find<decltype(&WSACleanup)>("WSACleanup")) cleanup();
  }
  if (state.oleInitialised) {
    if (const auto uninitialise = state.ole.Find<decltype(&OleUninitialize)>("OleUninitialize")) uninitialise();
  }
  ExitProcess(static_cast<UINT>(exitCode));
}

bool SocketLibraryStart() {
  RuntimeState& state = State();
  if (state.socketsStarted.load()) return true;
  LateLibrary sockets("ws2_32.dll");
  const auto startup = sockets.Find<decltype(&WSAStartup)>("WSAStartup");
  const auto cleanup = sockets.Find<decltype(&WSACleanup)>("WSACleanup");
  WSADATA data{};
  if (startup == nullptr || cleanup == nullptr || startup(MAKEWORD(2, 2), &data) != 0) return false;
  // Another thread may have started it meanwhile: keep one start only.
  if (state.socketsStarted.exchange(true)) {
    cleanup();
  } else {
    state.sockets = std::move(sockets);  // stays loaded until the program ends
  }
  return true;
}

void OleStartSoon() {
  RuntimeState& state = State();
  if (state.hiddenWindow == nullptr || !PostMessageA(state.hiddenWindow, kOleStartMessage, 0, 0)) OleStart();
}

void OnExitRoutineRegister(OnExitRoutine routine) { State().onExit.store(routine); }
void OnExitRoutineForget() { State().onExit.store(nullptr); }

void WindowManagerShutdownSet(ShutdownListener listener) { State().windowManagerShutdown = listener; }

void ShutdownListenerAdd(ShutdownListener listener) {
  RuntimeState& state = State();
  if (state.listenerCount < kMaxListeners) state.listeners[state.listenerCount++] = listener;
}

DWORD MainThreadId() { return State().mainThreadId; }
HWND HiddenMessageWindow() { return State().hiddenWindow; }
bool ProgramEnding() { return State().ending.load(); }
