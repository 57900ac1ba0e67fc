// Non-copyable, movable owners of Win32 handles and locks.  Copying one
// must not compile: a copied owner would close its handle twice.
#pragma once

#include <windows.h>

#include <utility>

template <class Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueResource(Value value) noexcept : value_(value) {}
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueResource() { Reset(); }

  Value Get() const noexcept { return value_; }
  bool Valid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return Valid(); }

  Value Release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void Reset(Value value = Traits::Invalid()) noexcept {
    Value old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Value value_;
};

struct KernelHandleTraits {  // handles whose failure value is null
  using Value = HANDLE;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { CloseHandle(value); }
};
struct FileHandleTraits {  // CreateFile and friends fail with INVALID_HANDLE_VALUE
  using Value = HANDLE;
  static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Value value) noexcept { CloseHandle(value); }
};
struct FindHandleTraits {
  using Value = HANDLE;
  static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Value value) noexcept { FindClose(value); }
};
struct GlobalMemoryTraits {
  using Value = HGLOBAL;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { GlobalFree(value); }
};
struct GdiObjectTraits {
  using Value = HGDIOBJ;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { DeleteObject(value); }
};
struct IconTraits {
  using Value = HICON;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { DestroyIcon(value); }
};
struct RegistryKeyTraits {
  using Value = HKEY;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { RegCloseKey(value); }
};
struct ModuleTraits {
  using Value = HMODULE;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { FreeLibrary(value); }
};
struct WindowTraits {
  using Value = HWND;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { DestroyWindow(value); }
};

struct CursorTraits {  // cursors the program made (CreateIconFromResourceEx); not shared ones
  using Value = HCURSOR;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { DestroyCursor(value); }
};

using KernelHandle = UniqueResource<KernelHandleTraits>;
using FileHandle = UniqueResource<FileHandleTraits>;
using FindHandle = UniqueResource<FindHandleTraits>;
using GlobalMemory = UniqueResource<GlobalMemoryTraits>;
using GdiObject = UniqueResource<GdiObjectTraits>;
using IconHandle = UniqueResource<IconTraits>;
using RegistryKey = UniqueResource<RegistryKeyTraits>;
using ModuleHandle = UniqueResource<ModuleTraits>;
using WindowHandle = UniqueResource<WindowTraits>;
using CursorHandle = UniqueResource<CursorTraits>;

// A device context obtained with GetDC, released with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  HDC Get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC for the guard's lifetime.
class DcSelection {
 public:
  DcSelection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
  DcSelection(const DcSelection&) = delete;
  DcSelection& operator=(const DcSelection&) = delete;
  ~DcSelection() { SelectObject(dc_, previous_); }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
