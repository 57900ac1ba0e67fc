// The drive box: a drop-down list of the machine's drives, optionally only
// those of one kind, each item carrying its drive letter as item data.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "runtime/core/text.h"
#include "runtime/windows/picker_control.h"

enum DriveKindFilter : int {
  kDriveKindAll = 0,
  kDriveKindRemovable = 1,
  kDriveKindFixed = 2,
  kDriveKindCdRom = 3,
  kDriveKindRemote = 4,
  kDriveKindRamDisk = 5,
};

// True when a drive of the system's drive type passes the filter.
bool DriveKindMatches(int filter, UINT driveType);
// The item text: "C:", the kind's suffix, and for fixed disks the label
// after one space ("C: （硬盘） 系统").
Text DriveItemText(char letter, UINT driveType, std::string_view volumeLabel);
// The letter of the process's current drive (upper case), 0 when unknown.
char CurrentDriveLetter();

struct DriverBoxCreateArgs {
  HWND parent = nullptr;
  int controlId = 0;
  int left = 0, top = 0, width = 0, height = 0;
  DWORD extraStyle = 0;  // WS_DISABLED, WS_TABSTOP from the unit's flags
  char driveLetter = 0;  // 0: the current drive
  std::int32_t filter = kDriveKindAll;
  COLORREF textColour = kSystemDefaultColour;
  COLORREF backgroundColour = kSystemDefaultColour;
  std::optional<LOGFONTA> font;
};

class DriverBox {
 public:
  // Null when the window cannot be created.
  static std::unique_ptr<DriverBox> Create(const DriverBoxCreateArgs& args, ControlEventSink sink);
  DriverBox(const DriverBox&) = delete;
  DriverBox& operator=(const DriverBox&) = delete;
  ~DriverBox();

  HWND Window() const { return window_; }
  // The system window has been destroyed with its parent.
  void WindowForget() { window_ = nullptr; }

  // Property 8: one letter, the current drive's when none is stored.
  Text Drive() const;
  // The first character, upper-cased, chooses the drive; no matching item
  // selects nothing and stores 0.
  void DriveSet(std::string_view text);
  char StoredLetter() const { return letter_; }

  // Property 9: refills the list.
  int Filter() const { return filter_; }
  void FilterSet(std::int32_t filter);

  // Properties 10-12.
  COLORREF TextColour() const { return textColour_; }
  void TextColourSet(COLORREF colour);
  COLORREF BackgroundColour() const { return backgroundColour_; }
  void BackgroundColourSet(COLORREF colour);
  const std::optional<LOGFONTA>& Font() const { return font_.Logical(); }
  void FontSet(const std::optional<LOGFONTA>& font);

  // Notifications reflected from the parent window.
  void CommandHandle(WORD notification);
  // WM_CTLCOLOR*: the brush to paint with, or null for the system's colours.
  HBRUSH ColourHandle(HDC dc);

 private:
  DriverBox(HWND window, ControlEventSink sink) : window_(window), sink_(std::move(sink)) {}
  void Fill();
  void SelectLetter();
  void Raise(std::int32_t event) const;

  HWND window_;
  ControlEventSink sink_;
  char letter_ = 0;
  int filter_ = kDriveKindAll;
  COLORREF textColour_ = kSystemDefaultColour;
  COLORREF backgroundColour_ = kSystemDefaultColour;
  GdiObject backgroundBrush_;
  ControlFont font_;
};
