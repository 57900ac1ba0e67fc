// The directory box: a tree showing one folder path as a chain of folder
// items, with the subfolders of the current folder beneath the last one.
// Activating an item (double-click, or Enter when the box gets the key)
// makes it the current folder.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "runtime/core/handles.h"
#include "runtime/core/text.h"
#include "runtime/windows/picker_control.h"

// Border styles of the box (property 9), as the edit box numbers them.
enum ControlBorderStyle : int {
  kBorderNone = 0,
  kBorderSunken = 1,
  kBorderRaised = 2,
  kBorderThinStatic = 3,
  kBorderSunkenRaised = 4,
  kBorderSingleLine = 5,
};

// Images of the folder image list.
enum FolderImage : int {
  kImageClosedFolder = 0,
  kImageClosedFolderSelected = 1,
  kImageOpenFolder = 2,
  kImageOpenFolderSelected = 3,
};

struct DirBoxCreateArgs {
  HWND parent = nullptr;
  int controlId = 0;
  int left = 0, top = 0, width = 0, height = 0;
  DWORD extraStyle = 0;  // WS_DISABLED, WS_TABSTOP from the unit's flags
  std::int32_t borderStyle = kBorderSunken;
  COLORREF backgroundColour = 0xFFFFFF;
  std::optional<LOGFONTA> font;
  // Hook the tree's messages with a subclass of the box's own; false when
  // the caller forwards them to MessageHandle itself.
  bool ownSubclass = true;
};

struct ImageListTraits {
  using Value = HIMAGELIST;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { ImageList_Destroy(value); }
};
using ImageList = UniqueResource<ImageListTraits>;

class DirBox {
 public:
  // Null when the window cannot be created.  The box starts at the
  // process's current directory.
  static std::unique_ptr<DirBox> Create(const DirBoxCreateArgs& args, ControlEventSink sink);
  DirBox(const DirBox&) = delete;
  DirBox& operator=(const DirBox&) = delete;
  ~DirBox();

  HWND Window() const { return window_; }
  // The system window has been destroyed with its parent.
  void WindowForget() { window_ = nullptr; }

  // Property 8: the text last written, or the path of the last activated item.
  const Text& Directory() const { return directory_; }
  // Stores the text as given (empty: the process's current directory) and
  // rebuilds the tree.
  void DirectorySet(std::string_view path);

  // Property 9 (clamped to 0..5), 10 and 11.
  int BorderStyle() const { return borderStyle_; }
  void BorderStyleSet(std::int32_t style);
  COLORREF BackgroundColour() const { return backgroundColour_; }
  void BackgroundColourSet(COLORREF colour);
  const std::optional<LOGFONTA>& Font() const { return font_.Logical(); }
  void FontSet(const std::optional<LOGFONTA>& font);

  // Makes item the current folder by the activation rules and raises event 0.
  void ItemActivate(HTREEITEM item);
  // The path of an item: its ancestors' texts and its own, joined by
  // backslashes ("C:" alone for a root).
  Text ItemPath(HTREEITEM item) const;

  // WM_NOTIFY reflected from the parent window; the value to return.
  LRESULT NotifyHandle(const NMHDR& header);
  // A message to the tree itself; a value when the box consumed it.
  std::optional<LRESULT> MessageHandle(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  DirBox(HWND window, ControlEventSink sink) : window_(window), sink_(std::move(sink)) {}
  void Rebuild();
  void SubfoldersList(HTREEITEM item);
  HTREEITEM ItemInsert(HTREEITEM parent, HTREEITEM after, const char* text, int image, int selectedImage);
  bool IsPathItem(HTREEITEM item) const;
  void Raise(std::int32_t event) const;
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self);

  HWND window_;
  ControlEventSink sink_;
  Text directory_;
  int borderStyle_ = kBorderSunken;
  COLORREF backgroundColour_ = 0xFFFFFF;
  ImageList images_;
  ControlFont font_;
  POINT lastDoubleClick_{-1, -1};
};
