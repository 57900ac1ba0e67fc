#include "tree_reading.h"

#include "runtime/windows/dir_box.h"

namespace {

HTREEITEM Next(HWND tree, HTREEITEM item, UINT relation) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

}  // namespace

std::string TreeItemText(HWND tree, HTREEITEM item) {
  char text[520] = {};
  TVITEMA data{};
  data.mask = TVIF_TEXT | TVIF_HANDLE;
  data.hItem = item;
  data.pszText = text;
  data.cchTextMax = sizeof text;
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
  return text;
}

int TreeItemImage(HWND tree, HTREEITEM item) {
  TVITEMA data{};
  data.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
  data.hItem = item;
  if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data))) return -1;
  // Both images go together; report a mismatch as an impossible value.
  return data.iSelectedImage == data.iImage + 1 ? data.iImage : -100 - data.iImage;
}

bool TreeItemExpanded(HWND tree, HTREEITEM item) {
  return (SendMessageA(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) &
          TVIS_EXPANDED) != 0;
}

std::vector<HTREEITEM> TreeChildren(HWND tree, HTREEITEM parent) {
  std::vector<HTREEITEM> items;
  HTREEITEM item = parent != nullptr ? Next(tree, parent, TVGN_CHILD) : Next(tree, nullptr, TVGN_ROOT);
  for (; item != nullptr; item = Next(tree, item, TVGN_NEXT)) items.push_back(item);
  return items;
}

std::vector<std::string> TreeChildTexts(HWND tree, HTREEITEM parent) {
  return TreeTexts(tree, TreeChildren(tree, parent));
}

HTREEITEM TreeSelection(HWND tree) { return Next(tree, nullptr, TVGN_CARET); }

std::vector<HTREEITEM> TreePathChain(HWND tree) {
  std::vector<HTREEITEM> chain;
  for (HTREEITEM item = Next(tree, nullptr, TVGN_ROOT);
       item != nullptr && TreeItemImage(tree, item) == kImageOpenFolder;
       item = Next(tree, item, TVGN_CHILD)) {
    chain.push_back(item);
  }
  return chain;
}

std::vector<std::string> TreeTexts(HWND tree, const std::vector<HTREEITEM>& items) {
  std::vector<std::string> texts;
  for (HTREEITEM item : items) texts.push_back(TreeItemText(tree, item));
  return texts;
}
