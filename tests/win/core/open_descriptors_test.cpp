#include "tests/support/open_descriptors.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "runtime/core/handles.h"

namespace {

FileHandle FolderOpen(const std::string& folder) {
  return FileHandle(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

// A folder handle held open shows as one more descriptor; closed, it gives
// it back, so handles opened and closed many times leave the count as it was
// and a leak of any of them shows.
TEST(OpenDescriptors, FollowFolderHandles) {
  char temp[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string folder = std::string(temp) + "ee_descriptors_" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(FolderOpen(folder));  // Wine's own first-use descriptors
  const std::optional<int> before = OpenDescriptorCount();
  ASSERT_TRUE(before.has_value());

  for (int round = 0; round < 20; ++round) ASSERT_TRUE(FolderOpen(folder));
  EXPECT_EQ(OpenDescriptorCount(), *before);
  {
    const FileHandle held = FolderOpen(folder);
    ASSERT_TRUE(held);
    EXPECT_EQ(OpenDescriptorCount(), *before + 1);
  }
  std::vector<HANDLE> leaked;
  for (int round = 0; round < 3; ++round) leaked.push_back(FolderOpen(folder).Release());
  EXPECT_EQ(OpenDescriptorCount(), *before + 3);
  for (HANDLE handle : leaked) CloseHandle(handle);
  EXPECT_EQ(OpenDescriptorCount(), *before);
  RemoveDirectoryA(folder.c_str());
}
