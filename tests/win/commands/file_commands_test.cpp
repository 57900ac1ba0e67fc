#include <gtest/gtest.h>

#include <windows.h>

#include "runtime/commands/file_commands.h"
#include "runtime/core/program.h"
#include "tests/win/commands/scratch_folder.h"

namespace {

TEST(FileCopy, ReplacesAnExistingDestinationAndFailsWithoutItsFolder) {
  ScratchFolder scratch("copy");
  const std::string source = scratch.Path("源.flv");
  const std::string destination = scratch.Path("dest.flv");
  ScratchFileWrite(source, "new contents");
  ScratchFileWrite(destination, "old");

  EXPECT_TRUE(FileCopy(source, destination));
  EXPECT_EQ(ScratchFileRead(destination), "new contents");
  EXPECT_FALSE(FileCopy(source, scratch.Path("missing\\dest.flv")));
  EXPECT_FALSE(FileCopy(scratch.Path("absent.flv"), destination));
  EXPECT_EQ(ScratchFileRead(destination), "new contents");
}

TEST(FolderCreate, CreatesOnlyTheLastComponent) {
  ScratchFolder scratch("folder");
  const std::string folder = scratch.Path("新建目录");
  EXPECT_TRUE(FolderCreate(folder));
  EXPECT_NE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(FolderCreate(folder)) << "an existing folder is a failure";
  EXPECT_FALSE(FolderCreate(scratch.Path("no\\parent")));
  EXPECT_FALSE(FolderCreate(""));
  EXPECT_FALSE(FolderCreate(scratch.Path(std::string(300, 'x'))));
}

TEST(CurrentFolder, IsTheProgramFolderAndEmptyWhenTooLong) {
  const Text start = CurrentFolder();
  EXPECT_EQ(start, ProgramFolder());

  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  EXPECT_EQ(CurrentFolder(), "C:\\") << "a drive root keeps its backslash";

  // A folder chain whose full path passes 260 bytes, made and entered with
  // the wide functions, which take longer paths.
  ScratchFolder scratch("long");
  std::wstring deep(scratch.Root().begin(), scratch.Root().end());
  while (deep.size() <= 300) {
    deep += L"\\" + std::wstring(40, L'd');
    CreateDirectoryW(deep.c_str(), nullptr);
  }
  ASSERT_TRUE(SetCurrentDirectoryW(deep.c_str())) << "cannot enter a folder longer than 260 bytes";
  EXPECT_EQ(CurrentFolder(), "") << "a folder that does not fit in 260 bytes reads as empty";
  ASSERT_TRUE(SetCurrentDirectoryA(start.c_str()));
  EXPECT_EQ(CurrentFolder(), start);
  while (deep.size() > scratch.Root().size()) {
    RemoveDirectoryW(deep.c_str());
    deep.resize(deep.rfind(L'\\'));
  }
}

TEST(EnvironmentText, ReadsTheStartEnvironmentIgnoringCase) {
  char path[32768] = {};
  ASSERT_GT(GetEnvironmentVariableA("PATH", path, sizeof path), 0u);
  EXPECT_EQ(EnvironmentText("path"), path);
  EXPECT_EQ(EnvironmentText("PaTh"), path);

  // Later changes to the environment do not show through.
  ASSERT_TRUE(SetEnvironmentVariableA("PATH", "changed"));
  ASSERT_TRUE(SetEnvironmentVariableA("EE_SET_AFTER_START", "late"));
  EXPECT_EQ(EnvironmentText("PATH"), path);
  EXPECT_EQ(EnvironmentText("EE_SET_AFTER_START"), "");
  SetEnvironmentVariableA("PATH", path);
  SetEnvironmentVariableA("EE_SET_AFTER_START", nullptr);

  EXPECT_EQ(EnvironmentText("EE_NEVER_SET_ANYWHERE"), "");
  EXPECT_EQ(EnvironmentText(""), "");
  EXPECT_EQ(EnvironmentText("PAT"), "") << "a prefix of a name is not the name";
}

}  // namespace
