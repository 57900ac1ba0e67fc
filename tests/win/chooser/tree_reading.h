// Reading a tree view's items back, as a user would see them.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

std::string TreeItemText(HWND tree, HTREEITEM item);
int TreeItemImage(HWND tree, HTREEITEM item);
bool TreeItemExpanded(HWND tree, HTREEITEM item);
std::vector<HTREEITEM> TreeChildren(HWND tree, HTREEITEM parent);  // parent null: the roots
std::vector<std::string> TreeChildTexts(HWND tree, HTREEITEM parent);
HTREEITEM TreeSelection(HWND tree);
// The chain from the root down through first children while they show
// the open-folder image (the path items).
std::vector<HTREEITEM> TreePathChain(HWND tree);
std::vector<std::string> TreeTexts(HWND tree, const std::vector<HTREEITEM>& items);
