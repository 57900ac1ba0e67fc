// The about window, which is also the program's help and the first-run
// reading: its creation time, the acknowledgement and the home-page button.
#pragma once

#include <cstdint>

#include "runtime/windows/event_handler.h"

// Tick count (sign-extended) when the about window was last created.
// Window thread only.
extern std::int64_t AboutShownAt;

inline constexpr char kHomePageAddress[] = "https://velmir-extractor.example.org/";

EventResult AboutWindowCreated(const EventArgs& args);
EventResult AcknowledgeFirstRun(const EventArgs& args);
EventResult VisitHomePage(const EventArgs& args);
