// What an application event handler receives and may give back.
#pragma once

#include <array>
#include <cstdint>
#include <span>

struct EventArgs {
  std::array<std::int32_t, 4> values{};
  int count = 0;
};

// A handler either returns nothing or a value (e.g. false from a close
// handler keeps the window open).
struct EventResult {
  bool hasValue = false;
  std::int32_t value = 0;
  static EventResult None() { return {}; }
  static EventResult Of(std::int32_t v) { return {true, v}; }
};

using EventHandler = EventResult (*)(const EventArgs& args);
// The application's handler table; a stored handler "offset" indexes it.
using HandlerTable = std::span<const EventHandler>;
