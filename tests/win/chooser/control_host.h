// A plain top-level window that holds one drive box and one directory box
// and hands their reflected notifications back to them, as the engine's
// windows do, and records the events they raise.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/windows/dir_box.h"
#include "runtime/windows/driver_box.h"

class ControlHost {
 public:
  ControlHost();
  ControlHost(const ControlHost&) = delete;
  ControlHost& operator=(const ControlHost&) = delete;
  ~ControlHost();

  HWND Window() const { return window_; }
  DriverBox& DriveBoxCreate(DriverBoxCreateArgs args = {});
  DirBox& DirBoxCreate(DirBoxCreateArgs args = {});

  std::vector<std::int32_t> driveEvents;
  std::vector<std::string> driveAtEvent;  // the drive read inside each event
  std::vector<std::int32_t> dirEvents;
  std::unique_ptr<DriverBox> driveBox;
  std::unique_ptr<DirBox> dirBox;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
};

// Dispatches whatever waits in the thread's queue.
void MessagesPump();
