#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>

#include "app/windows/directory_chooser.h"
#include "chooser_engine.h"
#include "folder_fixture.h"
#include "modal_script.h"
#include "runtime/windows/engine.h"
#include "support/dialog_answerer.h"
#include "tree_reading.h"
#include "window_ids.h"

namespace {

constexpr WindowId kChooser = kDirectoryChooser;
namespace units = DirectoryChooserUnits;
constexpr UnitId kPromptLabel = units::信息标题;
constexpr UnitId kNewFolderButton = units::按钮3;
constexpr UnitId kCancelButton = units::按钮2;
constexpr UnitId kConfirmButton = units::按钮1;
constexpr UnitId kDriveBox = units::驱动器框;
constexpr UnitId kFolderBox = units::目录框;
constexpr UnitId kPathBox = units::目标目录;

std::string WindowText(HWND window) {
  char text[600] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string PathBoxText() { return WindowText(LoadedWindowHandle(kChooser, kPathBox)); }

std::string Read(UnitId unit, std::int32_t index) { return PropertyReadText(kChooser, unit, index).c_str(); }

void Click(UnitId button) { SendMessageA(LoadedWindowHandle(kChooser, button), BM_CLICK, 0, 0); }

// A key as the keyboard delivers it: posted, so the window's keyboard
// handling sees it in the message loop.
void PostKey(HWND window, UINT key) {
  PostMessageA(window, WM_KEYDOWN, key, 1);
  PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const std::string& name) {
  for (HTREEITEM item : TreeChildren(tree, parent)) {
    if (lstrcmpiA(TreeItemText(tree, item).c_str(), name.c_str()) == 0) return item;
  }
  ADD_FAILURE() << "no item " << name;
  return nullptr;
}

void DoubleClick(HWND tree, HTREEITEM item) {
  RECT rect{};
  SendMessageA(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));  // as a user scrolls to it
  std::memcpy(&rect, &item, sizeof item);
  ASSERT_TRUE(SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect)));
  const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  SendMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageA(tree, WM_LBUTTONUP, 0, point);
  SendMessageA(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
  SendMessageA(tree, WM_LBUTTONUP, 0, point);
}

class ChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ChooserTestEngineStart();
    ChooserResult.reset();
  }
};

}  // namespace

TEST_F(ChooserTest, OpensWithItsDefaultsAndCancelReturnsNothing) {
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  ModalScript script;
  script.Then([&] {
    HWND window = LoadedWindowHandle(kChooser);
    EXPECT_EQ(WindowText(window), "目标目录选择");
    EXPECT_EQ(Read(kPromptLabel, 8), "请选择具体的目标目录");
    EXPECT_FALSE(IsWindowVisible(LoadedWindowHandle(kChooser, kNewFolderButton)));
    EXPECT_EQ(PathBoxText(), current);
    DWORD start = 1, end = 0;
    SendMessageA(LoadedWindowHandle(kChooser, kPathBox), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, std::strlen(current));
    EXPECT_EQ(Read(kDriveBox, 8), std::string(1, current[0]));
    EXPECT_EQ(Read(kFolderBox, 8), current);
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_NEAR((rect.left + rect.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 2);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 2);
    Click(kCancelButton);
  });
  script.Start();
  EXPECT_EQ(RunDirectoryChooser("", "", false), "");
  EXPECT_FALSE(ChooserResult.has_value());
  EXPECT_TRUE(script.Finished());
  EXPECT_FALSE(WindowIsLoaded(kChooser));
}

TEST_F(ChooserTest, TypedPathConfirmedByEnterIsKeptAcrossALaterCancel) {
  ModalScript confirm;
  confirm.Then([] {
    HWND path = LoadedWindowHandle(kChooser, kPathBox);
    SetWindowTextA(path, "abc");
    SetFocus(path);
    PostKey(path, VK_RETURN);
  });
  confirm.Start();
  const auto first = RunDirectoryChooser("", "", false);
  EXPECT_EQ(first, "abc");

  // A caption and prompt of the caller's own; the new-folder button offered.
  ModalScript cancel;
  cancel.Then([] {
    EXPECT_EQ(WindowText(LoadedWindowHandle(kChooser)), "选一个");
    EXPECT_EQ(Read(kPromptLabel, 8), "提示");
    EXPECT_TRUE(IsWindowVisible(LoadedWindowHandle(kChooser, kNewFolderButton)));
    PostKey(LoadedWindowHandle(kChooser, kPathBox), VK_ESCAPE);
  });
  cancel.Start();
  const auto second = RunDirectoryChooser("选一个", "提示", true);
  EXPECT_EQ(second, "abc");
  EXPECT_TRUE(cancel.Finished());
}

TEST_F(ChooserTest, DriveChoiceAndDoubleClicksSetThePathBox) {
  ModalScript script;
  script
      .Then([] {
        // Choose C: in the list as the list reports a confirmed choice.
        HWND combo = LoadedWindowHandle(kChooser, kDriveBox);
        const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
          if (SendMessageA(combo, CB_GETITEMDATA, i, 0) == 'C') SendMessageA(combo, CB_SETCURSEL, i, 0);
        }
        SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELENDOK),
                     reinterpret_cast<LPARAM>(combo));
        EXPECT_EQ(PathBoxText(), "C:\\");
        EXPECT_EQ(Read(kFolderBox, 8), "C:\\");
      })
      .Then([] {
        HWND tree = LoadedWindowHandle(kChooser, kFolderBox);
        const HTREEITEM root = TreePathChain(tree).front();
        DoubleClick(tree, ChildNamed(tree, root, "windows"));
        EXPECT_EQ(PathBoxText(), "C:\\windows");
        DoubleClick(tree, TreePathChain(tree).front());
        EXPECT_EQ(PathBoxText(), "C:");
        DoubleClick(tree, ChildNamed(tree, TreePathChain(tree).front(), "windows"));
        Click(kConfirmButton);
      });
  script.Start();
  const auto chosen = RunDirectoryChooser("", "", false);
  EXPECT_EQ(lstrcmpiA(chosen.c_str(), "C:\\windows"), 0) << chosen.c_str();
}

TEST_F(ChooserTest, EnterInTheTreeConfirmsWithoutOpeningTheSelection) {
  ModalScript script;
  script.Then([] {
    PropertyWriteText(kChooser, kFolderBox, 8, "C:\\windows");
    HWND tree = LoadedWindowHandle(kChooser, kFolderBox);
    const HTREEITEM current = TreePathChain(tree).back();
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET,
                 reinterpret_cast<LPARAM>(ChildNamed(tree, current, "system32")));
    SetWindowTextA(LoadedWindowHandle(kChooser, kPathBox), "typed");
    SetFocus(tree);
    PostKey(tree, VK_RETURN);
  });
  script.Start();
  const auto chosen = RunDirectoryChooser("", "", false);
  EXPECT_EQ(chosen, "typed");
}

TEST_F(ChooserTest, NewFolderIsMadeBelowTheShownFolderAndListed) {
  FolderFixture folders;
  const auto create = [](const char* name) {
    return [name] {
      DialogAnswer answer([name](DialogAnswerer& answerer) {
        HWND box = answerer.Wait("新建目录名称");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(DialogAnswerer::View(box).MessageText(), "请输入新建目录的名称：");
        DialogAnswerer::Type(box, DialogAnswerer::View(box).VisibleEdits().front()->id, name);
        DialogAnswerer::PressButton(box, "确认输入(&O)");
      });
      Click(kNewFolderButton);
      answer.Join();
    };
  };
  const std::string base = folders.Base();
  std::string initialPath;
  ModalScript script;
  script
      // Written with a trailing backslash (as a drive root is): the name
      // follows a second backslash.
      .Then([&] {
        initialPath = PathBoxText();
        PropertyWriteText(kChooser, kFolderBox, 8, base + "\\");
      })
      .Then(create("one"))
      .Then([&] {
        EXPECT_NE(GetFileAttributesA((base + "\\one").c_str()), INVALID_FILE_ATTRIBUTES);
        HWND tree = LoadedWindowHandle(kChooser, kFolderBox);
        EXPECT_EQ(TreeChildTexts(tree, TreePathChain(tree).back()), std::vector<std::string>{"one"});
        EXPECT_EQ(Read(kFolderBox, 8), base + "\\");
        EXPECT_EQ(PathBoxText(), initialPath) << "the path box is left alone";
        PropertyWriteText(kChooser, kFolderBox, 8, base);
      })
      .Then(create("two"))
      .Then([&] {
        EXPECT_NE(GetFileAttributesA((base + "\\two").c_str()), INVALID_FILE_ATTRIBUTES);
        HWND tree = LoadedWindowHandle(kChooser, kFolderBox);
        EXPECT_EQ(TreeChildTexts(tree, TreePathChain(tree).back()), (std::vector<std::string>{"one", "two"}));
        Click(kCancelButton);
      });
  script.Start();
  RunDirectoryChooser("", "", true);
  EXPECT_TRUE(script.Finished());
}
