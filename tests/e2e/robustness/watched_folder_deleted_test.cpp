// The watched folder deleted (not renamed) while a watch runs.  The watch
// must end with a notice, the window must come back to idle, what was saved
// must stay, and a new start must work once the folder is back.
#include <string>

#include "tests/e2e/robustness/robustness_support.h"

using namespace e2e;

namespace {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The Linux form of a path under Wine; empty elsewhere.
std::string UnixPathOf(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix == nullptr) return {};
  char* unixPath = toUnix(path.c_str());
  if (unixPath == nullptr) return {};
  std::string result = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

// Deletes a folder tree as another program would.  Under Wine a folder
// removed through Wine stays in place while the watcher holds its handle
// (the removal reports success), so the tree is removed from the Linux side:
// Wine starts Linux programs too.
bool RemoveTreeFromOutside(const std::wstring& folder) {
  if (!RunningUnderWine()) return FolderRemoveTree(folder);
  const std::string unixPath = UnixPathOf(folder);
  if (unixPath.empty() || unixPath.find('"') != std::string::npos) return false;
  std::wstring command = L"Z:\\bin\\rm -rf -- \"";
  command.append(unixPath.begin(), unixPath.end());
  command += L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(L"Z:\\bin\\rm", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started))
    return false;
  WaitForSingleObject(started.hProcess, 10000);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return WaitUntil([&] { return !FolderExists(folder); }, Milliseconds(5000));
}

class DeletedWatchedFolder : public RunningProgram {
 protected:
  void StartWatching() {
    ASSERT_TRUE(Parts().Video().SetChecked(true));
    ASSERT_TRUE(Parts().WatchedBox().SetText(GbkFromWide(program.Files().Path(L"watched")) + "\\"));
    ASSERT_TRUE(Parts().Start().Click());
  }

  void SaveOne(const std::wstring& relative, const std::string& bytes) {
    ASSERT_TRUE(program.Files().WriteFile(relative, bytes));
    MessageBoxWindow prompt = program.WaitMessageBox("警示信息 - 视频侦测");
    ASSERT_TRUE(prompt);
    ASSERT_TRUE(prompt.Answer(IDOK));
    MessageBoxWindow saved = program.WaitMessageBox("警示信息 - 视频保存成功");
    ASSERT_TRUE(saved);
    ASSERT_TRUE(saved.Answer(IDOK));
  }
};

}  // namespace

TEST_F(DeletedWatchedFolder, WatchEndsWithANoticeAndAStartWorksOnceTheFolderIsBack) {
  ASSERT_TRUE(program.Files().MakeFolder(L"watched\\Sub"));
  StartWatching();
  ASSERT_TRUE(Parts().Stop().WaitEnabled(true));
  SaveOne(L"watched\\Sub\\first.flv", "first video");

  ASSERT_TRUE(RemoveTreeFromOutside(program.Files().Path(L"watched")));
  MessageBoxWindow notice = program.WaitMessageBox("警示信息 - 监视中断", Milliseconds(5000));
  ASSERT_TRUE(notice) << "the watch of a deleted folder went on silently";
  EXPECT_EQ(notice.Message(), "缓存监视已意外停止，监视目录可能已被删除或无法访问，请检查后重新开始！");
  ASSERT_TRUE(notice.Answer(IDOK));
  EXPECT_TRUE(WaitUntil([&] { return Idle(); }, Milliseconds(5000)));

  // Nothing that was saved went with it; the home folder is untouched.
  auto saved = SavedFiles(program);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(program.Files().ReadFile(L"program\\" + saved[0]).value_or(""), "first video");
  EXPECT_TRUE(FolderExists(program.HomeFolder()));

  // While it is gone a start fails clearly; once it is back, one works.
  ASSERT_TRUE(Parts().Start().Click());
  MessageBoxWindow failed = program.WaitMessageBox("警示信息");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed.Message(), "启动缓存监视失败！请重新启动计算机或更换账户后再试！");
  ASSERT_TRUE(failed.Answer(IDOK));
  EXPECT_TRUE(WaitUntil([&] { return Idle(); }, Milliseconds(5000)));

  ASSERT_TRUE(program.Files().MakeFolder(L"watched"));
  ASSERT_TRUE(Parts().Start().Click());
  ASSERT_TRUE(Parts().Stop().WaitEnabled(true));
  SaveOne(L"watched\\second.flv", "second video");
  EXPECT_EQ(SavedFiles(program).size(), 2u);
  ExitAndExpectCodeZero();
}
