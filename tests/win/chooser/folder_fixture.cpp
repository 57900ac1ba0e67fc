#include "folder_fixture.h"

#include <windows.h>

#include <gtest/gtest.h>

FolderFixture::FolderFixture() {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  base_ = std::string(temp) + "ee_chooser_" + std::to_string(GetCurrentProcessId()) + "_" +
          std::to_string(GetTickCount());
  FolderRemoveAll(base_);
  EXPECT_TRUE(CreateDirectoryA(base_.c_str(), nullptr)) << base_;
}

FolderFixture::~FolderFixture() { FolderRemoveAll(base_); }

std::string FolderFixture::FolderMake(const std::string& relative) {
  std::string path = base_;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    path += "\\" + relative.substr(start, end - start);
    CreateDirectoryA(path.c_str(), nullptr);
    start = end + 1;
  }
  EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
  return path;
}

std::string FolderFixture::FileMake(const std::string& relative) {
  const std::string path = base_ + "\\" + relative;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return path;
}

void FolderRemoveAll(const std::string& folder) {
  WIN32_FIND_DATAA entry{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        FolderRemoveAll(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}
