// The program's own folder for copies made to be played:
// %TEMP%\ElementExtractor-play\<process id>.  A player opens the copy, so
// it cannot be removed at once; the copies go when the folder's owner goes,
// and a folder a crashed run left (its process gone) goes at the next
// opening.  A copy a player still holds open stays until the next opening.
#pragma once

#include <string>

class PlayFolder {
 public:
  // Removes the stale folders of processes that have ended.  Makes nothing yet.
  PlayFolder();
  // Removes every copy made and the folder.
  ~PlayFolder();
  PlayFolder(const PlayFolder&) = delete;
  PlayFolder& operator=(const PlayFolder&) = delete;

  // The folder, made on first use; empty when it cannot be made.
  std::wstring Path();
  // Removes what the folder holds now, and the folder when it is empty.
  void Empty();

 private:
  std::wstring root_;  // %TEMP%\ElementExtractor-play
  std::wstring own_;   // root_\<process id>
};

// The root below a temporary folder, and whether a subfolder's name is that
// of a live process's folder (exposed for tests).
std::wstring PlayFolderRoot(const std::wstring& temporaryFolder);
bool PlayFolderOwnerAlive(const std::wstring& name);
