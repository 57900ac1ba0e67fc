// Names of the copies the scan saves.  A copy is named after the last part
// of its web address when that gives a usable Windows file name, else after
// a time as the watch names its copies; "(n)" before the extension keeps
// every earlier copy.  Names are UTF-8 (the copy is created by its UTF-16
// name, so no character is lost to the code page).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Longest stem a name from an address keeps, in characters: the save folder's
// path and the "(n)" and extension still fit the usual path limit.
constexpr std::size_t kSavedStemMaxCharacters = 80;

struct SavedName {
  std::string stem;
  std::string extension;  // without the dot; empty for none
};

// The last path segment of the address (no query, no fragment), its
// %-escapes decoded, its own extension dropped and `extension` put in its
// place; characters Windows refuses in names, control characters and
// Unicode format characters (U+202E...) become "_", spaces and dots at the
// end go, a device name (CON, NUL, COM1, COM¹, CONIN$, ...) gets a "_"
// before it.  Nothing when the address has no such segment or
// what is left is empty or not UTF-8.
std::optional<SavedName> SavedNameFromAddress(std::string_view webAddress, std::string_view extension);

// stem, "(number)" from number 2 on, "." extension.
std::string SavedNameText(const SavedName& name, int number = 1);
