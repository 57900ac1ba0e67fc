// Scratch folders and files for the command tests, below the program folder
// (never below the temp folder, which one of the commands empties).
#pragma once

#include <string>
#include <string_view>

class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view name);
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();
  const std::string& Root() const { return root_; }
  // Root + "\" + relative.
  std::string Path(std::string_view relative) const;

 private:
  std::string root_;
};

void ScratchFileWrite(const std::string& path, std::string_view contents);
std::string ScratchFileRead(const std::string& path);
bool ScratchExists(const std::string& path);
// Removes a tree without following links; used by ScratchFolder.
void ScratchTreeRemove(const std::string& path);
// Runs a command line of the Linux host (through /bin/sh, so quote with ');
// returns its exit status, or -1 when host programs cannot be started.
int HostCommandRun(const std::string& commandLine);
// The host's path of a Windows path, or empty.
std::string HostPathOf(const std::string& windowsPath);
