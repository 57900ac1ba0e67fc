// What the robustness tests share besides the running program: folder
// listings of the sandbox.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/session/running_program.h"

namespace e2e {

// Files (not folders) directly inside a folder.
inline std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const std::wstring& name : FolderList(folder)) {
    if (FileExists(folder + L"\\" + name)) names.push_back(name);
  }
  return names;
}

// The save folder's files besides the program and its settings.
inline std::vector<std::wstring> SavedFiles(const ProgramUnderTest& program) {
  std::vector<std::wstring> saved;
  const std::wstring exe = FileNameOf(program.ExecutablePath());
  for (const std::wstring& name : FilesIn(program.ProgramFolder())) {
    if (name != exe && name != L"setting.ini") saved.push_back(name);
  }
  return saved;
}

}  // namespace e2e
