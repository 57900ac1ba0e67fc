#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "control_host.h"
#include "folder_fixture.h"
#include "tree_reading.h"

namespace {

using Strings = std::vector<std::string>;

// The names of an ASCII path, split by hand for the expectations.
Strings AsciiNames(const std::string& path) {
  Strings names;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

bool Contains(const Strings& texts, const std::string& wanted) {
  for (const std::string& text : texts) {
    if (lstrcmpiA(text.c_str(), wanted.c_str()) == 0) return true;
  }
  return false;
}

// Sends a double-click at the middle of an item's label.
void DoubleClick(HWND tree, HTREEITEM item) {
  RECT rect{};
  SendMessageA(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));  // as a user scrolls to it
  std::memcpy(&rect, &item, sizeof item);  // the item goes in, its rectangle comes out
  ASSERT_TRUE(SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect)));
  const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  SendMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageA(tree, WM_LBUTTONUP, 0, point);
  SendMessageA(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
  SendMessageA(tree, WM_LBUTTONUP, 0, point);
  MessagesPump();
}

class DirBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    deep_ = folders_.FolderMake("a/b");
    folders_.FolderMake("a/b/alpha/deeper");
    folders_.FolderMake("a/b/zeta");
    const std::string hidden = folders_.FolderMake("a/b/Hidden");
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    folders_.FileMake("a/b/file.txt");
    box_ = &host_.DirBoxCreate();
    tree_ = box_->Window();
  }

  std::string Dir() const { return box_->Directory().c_str(); }

  HTREEITEM ChildNamed(HTREEITEM parent, const std::string& name) {
    for (HTREEITEM item : TreeChildren(tree_, parent)) {
      if (TreeItemText(tree_, item) == name) return item;
    }
    ADD_FAILURE() << "no item " << name;
    return nullptr;
  }

  FolderFixture folders_;
  ControlHost host_;
  DirBox* box_ = nullptr;
  HWND tree_ = nullptr;
  std::string deep_;
};

}  // namespace

TEST_F(DirBoxTest, StartsAtTheProcessCurrentDirectoryWithFourFolderImages) {
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  EXPECT_EQ(Dir(), current);
  const auto chain = TreePathChain(tree_);
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(TreeTexts(tree_, chain), AsciiNames(current));
  EXPECT_EQ(TreeSelection(tree_), chain.back());

  auto images = reinterpret_cast<HIMAGELIST>(SendMessageA(tree_, TVM_GETIMAGELIST, TVSIL_NORMAL, 0));
  ASSERT_NE(images, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(images), 4);
  int width = 0, height = 0;
  ImageList_GetIconSize(images, &width, &height);
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 15);

  // An empty text means the current directory again.
  box_->DirectorySet("C:\\");
  box_->DirectorySet("");
  EXPECT_EQ(Dir(), current);
}

TEST_F(DirBoxTest, DriveRootIsOneItemWithTheDriveFoldersBeneath) {
  box_->DirectorySet("C:\\");
  EXPECT_EQ(Dir(), "C:\\");
  const auto roots = TreeChildren(tree_, nullptr);
  ASSERT_EQ(roots.size(), 1u);
  EXPECT_EQ(TreeItemText(tree_, roots[0]), "C:");
  EXPECT_EQ(TreeItemImage(tree_, roots[0]), kImageOpenFolder);
  EXPECT_TRUE(TreeItemExpanded(tree_, roots[0]));
  EXPECT_EQ(TreeSelection(tree_), roots[0]);
  const Strings below = TreeChildTexts(tree_, roots[0]);
  EXPECT_TRUE(Contains(below, "windows"));
  for (HTREEITEM item : TreeChildren(tree_, roots[0]))
    EXPECT_EQ(TreeItemImage(tree_, item), kImageClosedFolder);
  EXPECT_TRUE(host_.dirEvents.empty()) << "writing the directory is not a user action";
}

TEST_F(DirBoxTest, DeepFolderShowsItsChainAndAllSubfoldersSorted) {
  box_->DirectorySet(deep_ + "\\");
  EXPECT_EQ(Dir(), deep_ + "\\");  // kept as written
  const auto chain = TreePathChain(tree_);
  EXPECT_EQ(TreeTexts(tree_, chain), AsciiNames(deep_));
  for (HTREEITEM item : chain) EXPECT_TRUE(TreeItemExpanded(tree_, item));
  EXPECT_EQ(TreeSelection(tree_), chain.back());
  // Hidden and system folders count; files and the dot entries do not.
  EXPECT_EQ(TreeChildTexts(tree_, chain.back()), (Strings{"alpha", "Hidden", "zeta"}));
}

TEST_F(DirBoxTest, FolderNameWithBackslashTrailByteStaysOneItem) {
  // 0x81 0x5C is one GBK character whose second byte is a backslash.
  const std::string name = "x\x81\x5C";
  const std::string folder = folders_.FolderMake(name);
  folders_.FolderMake(name + "/inner");
  box_->DirectorySet(folder);
  const auto chain = TreePathChain(tree_);
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(TreeItemText(tree_, chain.back()), name);
  EXPECT_EQ(TreeTexts(tree_, chain).size(), AsciiNames(folders_.Base()).size() + 1);
  // The search runs inside that folder, not for names beginning with it.
  EXPECT_EQ(TreeChildTexts(tree_, chain.back()), Strings{"inner"});
}

TEST_F(DirBoxTest, MissingFolderShowsItsNamesWithNothingBeneath) {
  box_->DirectorySet("C:\\no_such_ee_folder\\deeper");
  const auto chain = TreePathChain(tree_);
  EXPECT_EQ(TreeTexts(tree_, chain), (Strings{"C:", "no_such_ee_folder", "deeper"}));
  EXPECT_TRUE(TreeChildren(tree_, chain.back()).empty());
  EXPECT_EQ(Dir(), "C:\\no_such_ee_folder\\deeper");
}

TEST_F(DirBoxTest, ActivationFollowsTheChainRules) {
  box_->DirectorySet(deep_);
  auto chain = TreePathChain(tree_);
  const HTREEITEM b = chain.back();

  // A subfolder becomes the end of the chain; its siblings go.
  const HTREEITEM alpha = ChildNamed(b, "alpha");
  box_->ItemActivate(alpha);
  EXPECT_EQ(Dir(), deep_ + "\\alpha");
  EXPECT_EQ(host_.dirEvents, std::vector<std::int32_t>{0});
  EXPECT_EQ(TreeChildTexts(tree_, b), Strings{"alpha"});
  EXPECT_EQ(TreeItemImage(tree_, alpha), kImageOpenFolder);
  EXPECT_EQ(TreeChildTexts(tree_, alpha), Strings{"deeper"});
  EXPECT_EQ(TreeSelection(tree_), alpha);

  // The current folder with its subfolders shown: nothing happens.
  box_->ItemActivate(alpha);
  EXPECT_EQ(host_.dirEvents.size(), 1u);
  EXPECT_EQ(TreeChildTexts(tree_, alpha), Strings{"deeper"});

  // A path item higher up: everything below it goes, its subfolders come.
  const HTREEITEM a = TreePathChain(tree_)[chain.size() - 2];
  box_->ItemActivate(a);
  EXPECT_EQ(Dir(), folders_.Base() + "\\a");
  EXPECT_EQ(TreePathChain(tree_).back(), a);
  EXPECT_EQ(TreeChildTexts(tree_, a), Strings{"b"});
  EXPECT_EQ(TreeItemImage(tree_, ChildNamed(a, "b")), kImageClosedFolder);

  // The root reads back without a backslash.
  box_->ItemActivate(TreePathChain(tree_).front());
  EXPECT_EQ(Dir(), "C:");
  EXPECT_EQ(TreePathChain(tree_).size(), 1u);
  EXPECT_TRUE(Contains(TreeChildTexts(tree_, TreePathChain(tree_).front()), "windows"));
  EXPECT_EQ(host_.dirEvents.size(), 3u);
}

TEST_F(DirBoxTest, CurrentFolderWithoutSubfoldersRaisesTheEventAgain) {
  const std::string empty = folders_.FolderMake("empty");
  box_->DirectorySet(empty);
  box_->ItemActivate(TreePathChain(tree_).back());
  EXPECT_EQ(host_.dirEvents, std::vector<std::int32_t>{0});
  EXPECT_EQ(Dir(), empty);
  // A subfolder made since then shows up on the next activation.
  folders_.FolderMake("empty/late");
  box_->ItemActivate(TreePathChain(tree_).back());
  EXPECT_EQ(host_.dirEvents.size(), 2u);
  EXPECT_EQ(TreeChildTexts(tree_, TreePathChain(tree_).back()), Strings{"late"});
}

TEST_F(DirBoxTest, DoubleClickAndEnterActivateWithoutCollapsingTheChain) {
  box_->DirectorySet(deep_);
  const auto changes = [this] { return std::count(host_.dirEvents.begin(), host_.dirEvents.end(), 0); };
  const HTREEITEM b = TreePathChain(tree_).back();
  DoubleClick(tree_, ChildNamed(b, "alpha"));
  EXPECT_EQ(Dir(), deep_ + "\\alpha");
  EXPECT_EQ(changes(), 1);
  for (HTREEITEM item : TreePathChain(tree_)) EXPECT_TRUE(TreeItemExpanded(tree_, item));

  // Double-clicking the current folder again changes nothing and must not
  // fold it up (the tree's own double-click toggle is suppressed).
  DoubleClick(tree_, TreePathChain(tree_).back());
  EXPECT_EQ(changes(), 1);
  for (HTREEITEM item : TreePathChain(tree_)) EXPECT_TRUE(TreeItemExpanded(tree_, item));

  // Enter activates the selected item, not the current folder.
  const HTREEITEM root = TreePathChain(tree_).front();
  SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
  SendMessageA(tree_, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(Dir(), "C:");
  EXPECT_EQ(changes(), 2);
}

TEST_F(DirBoxTest, BorderStyleIsClampedAndApplied) {
  const auto exStyle = [this] { return GetWindowLongPtrA(tree_, GWL_EXSTYLE); };
  EXPECT_EQ(box_->BorderStyle(), kBorderSunken);
  EXPECT_NE(exStyle() & WS_EX_CLIENTEDGE, 0);
  box_->BorderStyleSet(9);
  EXPECT_EQ(box_->BorderStyle(), kBorderSingleLine);
  EXPECT_NE(GetWindowLongPtrA(tree_, GWL_STYLE) & WS_BORDER, 0);
  EXPECT_EQ(exStyle() & WS_EX_CLIENTEDGE, 0);
  box_->BorderStyleSet(-4);
  EXPECT_EQ(box_->BorderStyle(), kBorderNone);
  EXPECT_EQ(GetWindowLongPtrA(tree_, GWL_STYLE) & WS_BORDER, 0);
  EXPECT_EQ(exStyle() & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME), 0);
  box_->BackgroundColourSet(RGB(1, 2, 3));
  EXPECT_EQ(SendMessageA(tree_, TVM_GETBKCOLOR, 0, 0), RGB(1, 2, 3));
}
