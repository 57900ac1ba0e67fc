// Plumbing shared by the drive box and the directory box: how they hand
// events to the engine, their colours and their font.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "runtime/core/handles.h"
#include "runtime/windows/type_properties.h"  // kSystemDefaultColour, FontRecord

// Receives the event numbers a control raises itself (event 0; the engine
// raises the mouse and focus events of every control).
using ControlEventSink = std::function<void(std::int32_t event)>;

// The control's font: a logical font of its own, or the standard GUI font.
class ControlFont {
 public:
  // Applies the new font to window before the old one is deleted, so the
  // control never paints with a deleted font.
  void Set(const std::optional<LOGFONTA>& font, HWND window) {
    GdiObject previous = std::move(owned_);
    if (font) owned_.Reset(CreateFontIndirectA(&*font));
    logFont_ = font;
    if (window != nullptr) SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(Handle()), TRUE);
  }
  HFONT Handle() const {
    return owned_ ? static_cast<HFONT>(owned_.Get()) : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  const std::optional<LOGFONTA>& Logical() const { return logFont_; }

 private:
  GdiObject owned_;
  std::optional<LOGFONTA> logFont_;
};

// The platform's logical font for a stored font record.
LOGFONTA LogFontOf(const FontRecord& record);
std::optional<LOGFONTA> LogFontOf(const std::optional<FontRecord>& record);

// Clamps a stored choice to 0..5, the range of both controls' choices.
constexpr int ChoiceClamp(std::int32_t value) {
  return value < 0 ? 0 : (value > 5 ? 5 : static_cast<int>(value));
}
