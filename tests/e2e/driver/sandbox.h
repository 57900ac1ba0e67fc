// A fresh folder tree per test (program folder, home folder, save folder...),
// removed with everything in it when the test ends.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

// Turns a path handed over from the Linux side (/work/x/y.exe) into the form
// Wine shows it to Windows programs (Z:\work\x\y.exe); Windows paths pass
// through unchanged.
std::wstring WindowsPathFrom(std::wstring_view path);

// Reads an environment variable holding a path (see WindowsPathFrom); empty
// when it is not set.
std::wstring PathFromEnvironment(const wchar_t* name);

// The folder part of a path (up to, not including, the last backslash).
std::wstring FolderOf(std::wstring_view path);
std::wstring FileNameOf(std::wstring_view path);

bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
std::optional<std::string> FileRead(const std::wstring& path);
bool FileWrite(const std::wstring& path, std::string_view bytes);
// Removes a folder and everything below it; true when it is gone.
bool FolderRemoveTree(const std::wstring& path);
// Names of the files and folders directly inside a folder, sorted.
std::vector<std::wstring> FolderList(const std::wstring& path);

class Sandbox {
 public:
  // Makes a new, empty folder below the temporary folder (or below the
  // folder named by EE_E2E_TEMP).
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  bool Valid() const { return !root_.empty(); }
  const std::wstring& Root() const { return root_; }
  // Root + "\" + relative (relative may hold backslashes).
  std::wstring Path(std::wstring_view relative) const;
  // Creates the folder and its missing parents.
  bool MakeFolder(std::wstring_view relative) const;
  bool WriteFile(std::wstring_view relative, std::string_view bytes) const;
  std::optional<std::string> ReadFile(std::wstring_view relative) const;
  bool Exists(std::wstring_view relative) const;
  // Copies a file into the sandbox, creating the target folder.
  bool CopyIn(const std::wstring& source, std::wstring_view relative) const;

 private:
  std::wstring root_;
};

// Creates a folder and its missing parents.
bool FolderCreateAll(const std::wstring& path);

}  // namespace e2e
