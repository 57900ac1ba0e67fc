#include "tests/win/commands/scratch_folder.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "runtime/core/program.h"
#include "runtime/core/text_encoding_wide.h"

ScratchFolder::ScratchFolder(std::string_view name) {
  std::string base = std::string(ProgramFolder()) + "\\scratch";
  CreateDirectoryA(base.c_str(), nullptr);
  root_ = base + "\\" + std::string(name) + "_" + std::to_string(GetCurrentProcessId());
  ScratchTreeRemove(root_);
  CreateDirectoryA(root_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { ScratchTreeRemove(root_); }

std::string ScratchFolder::Path(std::string_view relative) const {
  return root_ + "\\" + std::string(relative);
}

void ScratchFileWrite(const std::string& path, std::string_view contents) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

std::string ScratchFileRead(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

bool ScratchExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void ScratchTreeRemove(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(path.c_str());
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") ScratchTreeRemove(path + "\\" + name);
      } while (FindNextFileA(find, &entry));
      FindClose(find);
    }
  }
  if (!RemoveDirectoryA(path.c_str()) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    HostCommandRun("rm -f '" + HostPathOf(path) + "'");
  }
}

std::string HostPathOf(const std::string& windowsPath) {
  using UnixNameOf = char*(CDECL*)(const wchar_t*);
  auto unixNameOf = reinterpret_cast<UnixNameOf>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (unixNameOf == nullptr) return {};
  char* unixName = unixNameOf(WideFromAnsi(windowsPath).c_str());
  if (unixName == nullptr) return {};
  std::string result = unixName;
  HeapFree(GetProcessHeap(), 0, unixName);
  return result;
}

int HostCommandRun(const std::string& commandLine) {
  // Wine starts a host program given its path, but hands back no handle to
  // wait on: the shell writes the status to a file, which is polled for.
  static int serial = 0;
  const std::string statusFile = std::string(ProgramFolder()) + "\\host_status_" +
                                 std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
  DeleteFileA(statusFile.c_str());
  const std::string hostStatusFile = HostPathOf(statusFile);
  if (hostStatusFile.empty()) return -1;
  std::string line = "/bin/sh -c \"" + commandLine + "; echo $? > '" + hostStatusFile + ".part'; mv '" +
                     hostStatusFile + ".part' '" + hostStatusFile + "'\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  for (int waited = 0; waited < 30000 && !ScratchExists(statusFile); waited += 20) Sleep(20);
  if (!ScratchExists(statusFile)) return -1;
  const int status = std::atoi(ScratchFileRead(statusFile).c_str());
  DeleteFileA(statusFile.c_str());
  return status;
}
