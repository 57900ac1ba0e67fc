// Test windows for the engine tests: template records built in code,
// encoded with the template writer and started as the engine's template
// set, with handlers that record every event they receive.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/windows/engine.h"
#include "runtime/windows/type_properties.h"

constexpr WindowId kMainId = 0x52010001;
constexpr WindowId kOtherId = 0x52010950;

constexpr UnitId OwnUnitId(std::uint32_t serial) { return 0x06000000u | serial; }
constexpr UnitId ControlUnitId(std::uint32_t serial) { return 0x16000000u | serial; }

struct Rect {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
};

using Behaviour = std::function<EventResult(const EventArgs&)>;

// One template set under construction.
class TestTemplates {
 public:
  WindowRecord& WindowAdd(WindowId id, const WindowProperties& properties, Rect rect = {50, 50, 300, 200},
                          std::uint32_t flags = kUnitVisible);
  UnitRecord& ControlAdd(WindowId window, UnitId unit, std::uint32_t type, ByteArray properties, Rect rect,
                         std::uint32_t flags = kUnitVisible | kUnitTabStop, UnitId parent = 0);
  // Binds event of unit (0 = the window) to a recording handler that logs
  // "label:event" and then runs behaviour, if any.
  void Bind(WindowId window, UnitId unit, std::int32_t event, const std::string& label,
            Behaviour behaviour = {});
  // Encodes the set and starts the engine with it.
  void Start();

 private:
  WindowRecord& Find(WindowId id);
  std::vector<WindowRecord> windows_;
};

// The events recorded since the last clear, as "label:event".
std::vector<std::string>& EventLog();

// Base fixture: clears the log and behaviours, and destroys every window the
// test left loaded.
class EngineTest : public ::testing::Test {
 protected:
  void TearDown() override;
  TestTemplates templates;
};

// Dispatches what is waiting in the thread's queue, as the message loop would.
void PumpMessages();
// Sends a key press to a window through the engine's dispatch.
void KeyPress(HWND target, UINT key);
