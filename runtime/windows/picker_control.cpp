#include "runtime/windows/picker_control.h"

#include <cstring>

LOGFONTA LogFontOf(const FontRecord& record) {
  LOGFONTA font{};
  font.lfHeight = record.height;
  font.lfWidth = record.width;
  font.lfEscapement = record.escapement;
  font.lfOrientation = record.orientation;
  font.lfWeight = record.weight;
  font.lfItalic = record.italic;
  font.lfUnderline = record.underline;
  font.lfStrikeOut = record.strikeOut;
  font.lfCharSet = record.charSet;
  font.lfOutPrecision = record.outPrecision;
  font.lfClipPrecision = record.clipPrecision;
  font.lfQuality = record.quality;
  font.lfPitchAndFamily = record.pitchAndFamily;
  std::memcpy(font.lfFaceName, record.faceName.data(), sizeof font.lfFaceName);
  font.lfFaceName[sizeof font.lfFaceName - 1] = '\0';
  return font;
}

std::optional<LOGFONTA> LogFontOf(const std::optional<FontRecord>& record) {
  if (!record) return std::nullopt;
  return LogFontOf(*record);
}
