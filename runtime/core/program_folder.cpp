// The executable's folder and file name, found once at start.  Kept apart
// from the program start so that the lower runtime parts (the declared-
// function binding searches the program folder) need not call into it.
#include <windows.h>

#include "runtime/core/program.h"

namespace {

struct ProgramPaths {
  Text folder;
  Text fileName;
};

ProgramPaths& Paths() {
  static ProgramPaths paths;
  return paths;
}

}  // namespace

void ProgramFolderEnter() {
  ProgramPaths& paths = Paths();
  char path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  Text full(path, length);
  const std::size_t cut = full.find_last_of('\\');
  if (cut == Text::npos) {
    paths.fileName = full;
    return;
  }
  paths.folder = full.substr(0, cut);
  paths.fileName = full.substr(cut + 1);
  // A drive root needs its backslash to name the root rather than the drive's current folder.
  Text folder = paths.folder;
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  SetCurrentDirectoryA(folder.c_str());
}

const Text& ProgramFolder() { return Paths().folder; }
const Text& ProgramFileName() { return Paths().fileName; }
