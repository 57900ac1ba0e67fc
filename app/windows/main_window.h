// The main window's event handlers and the class switches that read its
// check boxes for the detection step.
#pragma once

#include "app/extensions/extension_catalogue.h"
#include "runtime/windows/event_handler.h"

EventResult MainWindowCreated(const EventArgs& args);
EventResult MainWindowClosing(const EventArgs& args);
EventResult MainWindowDestroying(const EventArgs& args);
EventResult TrayIconActivated(const EventArgs& args);
EventResult ToggleMainWindow(const EventArgs& args);
EventResult AboutButtonClicked(const EventArgs& args);
EventResult ExitButtonClicked(const EventArgs& args);
EventResult ChooseSaveFolder(const EventArgs& args);
EventResult UpdateCustomFormatBox(const EventArgs& args);
EventResult ShowEasterEgg(const EventArgs& args);

// The three class check boxes of the main window, read when asked (also
// from batch workers: the engine answers those reads on the window thread).
ClassSwitches& MainWindowClassSwitches();

// The notification-area tip, which says "提取器" where the caption says "提取工具".
inline constexpr char kTrayTip[] = "Velmir网页元素提取器 1.11.0122";
