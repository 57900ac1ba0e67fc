#include "runtime/windows/dir_box.h"

#include <algorithm>
#include <array>
#include <vector>

#include "resources/resource_ids.h"
#include "runtime/windows/dir_path.h"

namespace {

constexpr UINT_PTR kSubclassId = 0x4442;  // "DB"
constexpr int kImageWidth = 16;
constexpr COLORREF kTransparent = RGB(255, 0, 255);
constexpr DWORD kCurrentDirectorySize = 260;

HTREEITEM TreeNext(HWND tree, HTREEITEM item, UINT relation) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// WS_BORDER and extended edges for a border style.
void BorderApply(HWND window, int style) {
  constexpr DWORD kEdges = WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE;
  DWORD edges = 0;
  switch (style) {
    case kBorderSunken:
      edges = WS_EX_CLIENTEDGE;
      break;
    case kBorderRaised:
      edges = WS_EX_DLGMODALFRAME;
      break;
    case kBorderThinStatic:
      edges = WS_EX_STATICEDGE;
      break;
    case kBorderSunkenRaised:
      edges = WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME;
      break;
    default:
      break;
  }
  const LONG_PTR plain = GetWindowLongPtrA(window, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_BORDER);
  SetWindowLongPtrA(window, GWL_STYLE, style == kBorderSingleLine ? (plain | WS_BORDER) : plain);
  const LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(kEdges);
  SetWindowLongPtrA(window, GWL_EXSTYLE, exStyle | edges);
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

std::unique_ptr<DirBox> DirBox::Create(const DirBoxCreateArgs& args, ControlEventSink sink) {
  // The tree-view class exists only once the common controls are set up.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  const DWORD style = WS_CHILD | WS_CLIPSIBLINGS | TVS_DISABLEDRAGDROP | TVS_SHOWSELALWAYS | args.extraStyle;
  HWND window = CreateWindowExA(0, WC_TREEVIEWA, "", style, args.left, args.top, args.width, args.height,
                                args.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.controlId)),
                                GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return nullptr;
  std::unique_ptr<DirBox> box(new DirBox(window, std::move(sink)));
  if (args.ownSubclass) {
    SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(box.get()));
  }
  box->font_.Set(args.font, window);
  box->BorderStyleSet(args.borderStyle);
  box->BackgroundColourSet(args.backgroundColour);
  box->Rebuild();
  return box;
}

DirBox::~DirBox() {
  if (window_ == nullptr || !IsWindow(window_)) return;
  RemoveWindowSubclass(window_, SubclassProc, kSubclassId);
  DestroyWindow(window_);
}

void DirBox::DirectorySet(std::string_view path) {
  directory_ = MakeText(path);
  Rebuild();
}

void DirBox::BorderStyleSet(std::int32_t style) {
  borderStyle_ = ChoiceClamp(style);
  BorderApply(window_, borderStyle_);
}

void DirBox::BackgroundColourSet(COLORREF colour) {
  backgroundColour_ = colour;
  const LPARAM value = colour == kSystemDefaultColour ? static_cast<LPARAM>(-1) : static_cast<LPARAM>(colour);
  SendMessageA(window_, TVM_SETBKCOLOR, 0, value);
  InvalidateRect(window_, nullptr, TRUE);
}

void DirBox::FontSet(const std::optional<LOGFONTA>& font) { font_.Set(font, window_); }

// The chain of path items for the current directory, the last one selected
// with its subfolders listed.
void DirBox::Rebuild() {
  if (!images_) {
    images_.Reset(ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_FOLDER_IMAGES),
                                       kImageWidth, 0, kTransparent, IMAGE_BITMAP, LR_CREATEDIBSECTION));
    if (images_)
      SendMessageA(window_, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images_.Get()));
  }
  SendMessageA(window_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  if (directory_.empty()) {
    std::array<char, kCurrentDirectorySize> folder{};
    const DWORD length = GetCurrentDirectoryA(kCurrentDirectorySize, folder.data());
    if (length > 0 && length < kCurrentDirectorySize) directory_.assign(folder.data(), length);
  }
  std::vector<HTREEITEM> chain;
  HTREEITEM parent = TVI_ROOT;
  for (const Text& name : DirPathSplit(directory_)) {
    parent = ItemInsert(parent, TVI_LAST, name.c_str(), kImageOpenFolder, kImageOpenFolderSelected);
    if (parent == nullptr) return;
    chain.push_back(parent);
  }
  if (chain.empty()) return;
  for (HTREEITEM item : chain) SendMessageA(window_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
  SendMessageA(window_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(chain.back()));
  SubfoldersList(chain.back());
}

// Adds the item's subfolders beneath it (hidden and system ones too), in
// the tree's sort order.  A folder that cannot be read simply gets none.
void DirBox::SubfoldersList(HTREEITEM item) {
  const Text pattern = DirPathSearchPattern(ItemPath(item));
  WIN32_FIND_DATAA entry{};
  FindHandle search(FindFirstFileA(pattern.c_str(), &entry));
  if (search) {
    do {
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
      if (lstrcmpA(entry.cFileName, ".") == 0 || lstrcmpA(entry.cFileName, "..") == 0) continue;
      ItemInsert(item, TVI_SORT, entry.cFileName, kImageClosedFolder, kImageClosedFolderSelected);
    } while (FindNextFileA(search.Get(), &entry));
  }
  SendMessageA(window_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

HTREEITEM DirBox::ItemInsert(HTREEITEM parent, HTREEITEM after, const char* text, int image,
                             int selectedImage) {
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent;
  insert.hInsertAfter = after;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  insert.item.pszText = const_cast<char*>(text);
  insert.item.iImage = image;
  insert.item.iSelectedImage = selectedImage;
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(window_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

// Path items show the open folder; subfolder items the closed one.
bool DirBox::IsPathItem(HTREEITEM item) const {
  TVITEMA data{};
  data.mask = TVIF_IMAGE | TVIF_HANDLE;
  data.hItem = item;
  return SendMessageA(window_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) != 0 &&
         data.iImage == kImageOpenFolder;
}

Text DirBox::ItemPath(HTREEITEM item) const {
  TextArray names;
  for (; item != nullptr; item = TreeNext(window_, item, TVGN_PARENT)) {
    std::array<char, 2 * MAX_PATH> text{};
    TVITEMA data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = text.data();
    data.cchTextMax = static_cast<int>(text.size());
    if (SendMessageA(window_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) == 0) break;
    names.push_back(MakeText(data.pszText));
  }
  std::reverse(names.begin(), names.end());
  return DirPathJoin(names);
}

void DirBox::ItemActivate(HTREEITEM item) {
  if (item == nullptr) return;
  if (IsPathItem(item)) {
    const HTREEITEM child = TreeNext(window_, item, TVGN_CHILD);
    if (child != nullptr) {
      if (!IsPathItem(child)) return;  // already the current folder, its subfolders shown
      SendMessageA(window_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child));
    }
  } else {
    TVITEMA data{};
    data.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    data.hItem = item;
    data.iImage = kImageOpenFolder;
    data.iSelectedImage = kImageOpenFolderSelected;
    SendMessageA(window_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&data));
    const HTREEITEM parent = TreeNext(window_, item, TVGN_PARENT);
    HTREEITEM sibling =
        parent != nullptr ? TreeNext(window_, parent, TVGN_CHILD) : TreeNext(window_, nullptr, TVGN_ROOT);
    while (sibling != nullptr) {
      const HTREEITEM next = TreeNext(window_, sibling, TVGN_NEXT);
      if (sibling != item) SendMessageA(window_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(sibling));
      sibling = next;
    }
  }
  SendMessageA(window_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  directory_ = ItemPath(item);
  // The subfolders are listed before the event: a handler may rebuild the
  // tree, and item must not be used after that.
  SubfoldersList(item);
  Raise(0);
}

LRESULT DirBox::NotifyHandle(const NMHDR& header) {
  switch (header.code) {
    case NM_DBLCLK: {
      TVHITTESTINFO hit{};
      hit.pt = lastDoubleClick_;
      if (hit.pt.x < 0) {
        const DWORD position = GetMessagePos();
        hit.pt = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
        ScreenToClient(window_, &hit.pt);
      }
      lastDoubleClick_ = {-1, -1};
      SendMessageA(window_, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
      if (hit.hItem != nullptr && (hit.flags & TVHT_ONITEM) != 0) ItemActivate(hit.hItem);
      return TRUE;  // no expand/collapse toggle of the tree's own
    }
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW: {
      // The chain stays open: only activation shortens it.
      const auto& change = reinterpret_cast<const NMTREEVIEWA&>(header);
      return (change.action & TVE_COLLAPSE) != 0 ? TRUE : FALSE;
    }
    default:
      return 0;
  }
}

void DirBox::Raise(std::int32_t event) const {
  if (sink_) sink_(event);
}

// Enter activates the selected item when the key reaches the box; a
// double-click's position is kept for the NM_DBLCLK that follows it.
std::optional<LRESULT> DirBox::MessageHandle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYDOWN:
      if (wParam != VK_RETURN) return std::nullopt;
      ItemActivate(TreeNext(window_, nullptr, TVGN_CARET));
      return 0;
    case WM_CHAR:
      if (wParam != '\r') return std::nullopt;
      return 0;
    case WM_LBUTTONDBLCLK:
      lastDoubleClick_ = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      return std::nullopt;
    case WM_NCDESTROY:
      window_ = nullptr;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

LRESULT CALLBACK DirBox::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self) {
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, SubclassProc, id);
  if (auto result = reinterpret_cast<DirBox*>(self)->MessageHandle(message, wParam, lParam)) return *result;
  return DefSubclassProc(window, message, wParam, lParam);
}
