// Real folders and files for the detection tests, below the program folder:
// a cache folder where "new files" lie and a save folder that SaveFolder
// names while the scratch exists.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/extensions/extension_catalogue.h"

std::string AnsiOf(std::wstring_view wide);
std::wstring WideOf(std::string_view ansi);

class DetectionScratch {
 public:
  DetectionScratch();
  DetectionScratch(const DetectionScratch&) = delete;
  DetectionScratch& operator=(const DetectionScratch&) = delete;
  ~DetectionScratch();

  const std::string& Cache() const { return cache_; }
  const std::string& Save() const { return save_; }
  // Writes a file below the root (relative path in UTF-16) and returns its
  // full path as the watcher hands it over: ANSI, name lower-cased.
  std::string NewFile(std::wstring_view relative, std::string_view contents);
  std::wstring WidePath(std::wstring_view relative) const;
  // The names of the files in the save folder, sorted.
  std::vector<std::string> SavedNames() const;

 private:
  std::string root_;
  std::string cache_;
  std::string save_;
};

std::string FileContents(std::string_view path);
void FileWrite(const std::wstring& path, std::string_view contents);

// Fixed answers for the class check boxes.
class FixedSwitches : public ClassSwitches {
 public:
  FixedSwitches(bool video, bool audio, bool userDefined)
      : video_(video), audio_(audio), user_(userDefined) {}
  bool VideoChecked() override { return video_; }
  bool AudioChecked() override { return audio_; }
  bool UserDefinedChecked() override { return user_; }

 private:
  bool video_, audio_, user_;
};

// The visible dialogs of this process.
int OpenDialogCount();

enum class BoxIcon { None, Information, Exclamation, Other };
// The icon a message box shows and whether it has a Cancel button.
BoxIcon BoxIconOf(HWND box);
bool HasCancelButton(HWND box);
