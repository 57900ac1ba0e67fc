// The type-specific property blocks of the window templates, one struct per
// control type.  Each block starts with a u32 version; an empty block means
// every default below.  Decoding fails (nullopt) for a version above the
// type's maximum or a malformed block; the unit then cannot be created.
// Comments give the property index each field backs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "runtime/core/text.h"

// A logical font record as the platform stores it (LOGFONTA, 60 bytes).
struct FontRecord {
  static constexpr std::size_t kSize = 60;
  std::int32_t height = 0;
  std::int32_t width = 0;
  std::int32_t escapement = 0;
  std::int32_t orientation = 0;
  std::int32_t weight = 0;
  std::uint8_t italic = 0;
  std::uint8_t underline = 0;
  std::uint8_t strikeOut = 0;
  std::uint8_t charSet = 0;
  std::uint8_t outPrecision = 0;
  std::uint8_t clipPrecision = 0;
  std::uint8_t quality = 0;
  std::uint8_t pitchAndFamily = 0;
  std::array<char, 32> faceName{};

  bool operator==(const FontRecord&) const = default;
};
// A font blob of any length but 60 is "no font" (the standard GUI font).
std::optional<FontRecord> FontRecordDecode(std::span<const std::uint8_t> blob);
ByteArray FontRecordEncode(const FontRecord& font);

constexpr std::uint32_t kSystemDefaultColour = 0xFF000000u;

struct WindowProperties {
  static constexpr std::uint32_t kMaxVersion = 6;
  std::uint32_t version = kMaxVersion;
  std::uint32_t borderStyle = 2;                          // 9: 0 none .. 6 fixed frame with sunken edge
  std::uint32_t pictureMode = 1;                          // 12
  std::uint32_t backgroundColour = kSystemDefaultColour;  // 10
  std::uint32_t maximizeButton = 0;                       // 16
  std::uint32_t minimizeButton = 0;                       // 17
  std::uint32_t systemMenu = 1;                           // 15
  std::uint32_t startPosition = 1;    // 18: 0 as stored, 1 centred, 2 minimized, 3 maximized
  std::uint32_t movable = 1;          // 19
  std::uint32_t property14 = 0;       // 14
  std::uint32_t enterMovesFocus = 0;  // 21
  std::uint32_t escCloses = 1;        // 22
  std::uint32_t f1OpensHelp = 0;      // 23
  std::uint32_t helpTopic = 0;        // 25
  std::uint32_t shownInTaskbar = 1;   // 26, from version 2
  std::uint32_t property27 = 0;       // 27, from version 3
  std::uint32_t shape = 0;            // 28, from version 3
  std::uint32_t alwaysOnTop = 0;      // 29, from version 4
  std::uint32_t property30 = 0;       // 30, from version 5
  Text className;                     // 31, version 6 only; empty = "WTWindow"
  ByteArray backgroundPicture;        // 11
  ByteArray property20Data;           // 20
  ByteArray property13Data;           // 13
  Text caption;                       // 8
  Text helpFile;                      // 24

  bool operator==(const WindowProperties&) const = default;
};

struct EditBoxProperties {
  static constexpr std::uint32_t kMaxVersion = 2;
  std::uint32_t version = kMaxVersion;
  std::uint32_t borderStyle = 1;  // 9: 0 none, 1 sunken, 2 raised, 3 static, 4 both, 5 single line
  std::uint32_t textColour = 0;   // 10
  std::uint32_t backgroundColour = 0xFFFFFF;  // 11
  std::uint32_t hideSelection = 1;            // 13
  std::uint32_t maxLength = 0;                // 14: bytes, 0 = no limit
  std::uint32_t multiLine = 0;                // 15
  std::uint32_t scrollBars = 0;               // 16: 1 horizontal, 2 vertical, 3 both
  std::uint32_t alignment = 0;                // 17
  std::uint32_t inputMode = 0;                // 18: 0 normal, 1 read-only, 2 password
  std::uint16_t passwordChar = '*';           // 19
  std::uint32_t caseConversion = 0;           // 20
  std::uint32_t spinnerMode = 0;              // 21
  std::uint32_t spinnerMinimum = 0;           // 22
  std::uint32_t spinnerMaximum = 100;         // 23
  std::uint32_t selectionStart = 0;           // 24
  std::uint32_t selectionLength = 0;          // 25
  std::optional<FontRecord> font;             // 12
  Text content;                               // 8
  Text dataSource;                            // 27, version 2 only
  Text dataColumn;                            // 28, version 2 only

  bool operator==(const EditBoxProperties&) const = default;
};

struct LabelProperties {
  static constexpr std::uint32_t kMaxVersion = 2;
  std::uint32_t version = kMaxVersion;
  std::uint32_t textEffect = 0;                                                  // 9
  std::uint32_t frameInteger = 8;                                                // 11
  std::uint32_t borderStyle = 0;                                                 // 10
  std::array<std::uint32_t, 3> frameColours{0x808080, 0xFFFFFF, 0x808080};       // 12, 13, 14
  std::uint32_t textColour = 0;                                                  // 16
  std::uint32_t backgroundColour = kSystemDefaultColour;                         // 17
  std::array<std::uint32_t, 2> backgroundChoices{1, 0};                          // 19, 20
  std::array<std::uint32_t, 3> backgroundColours{0x808080, 0xFFFFFF, 0x808080};  // 21, 22, 23
  std::uint32_t horizontalAlignment = 0;                                         // 24
  std::uint32_t verticalAlignment = 1;                                           // 26
  std::uint32_t wordWrap = 0;                                                    // 25
  std::optional<FontRecord> font;                                                // 15
  ByteArray backgroundPicture;                                                   // 18
  Text caption = MakeText("标签");                                               // 8
  Text dataSource;                                                               // 27, version 2 only
  Text dataColumn;                                                               // 28, version 2 only

  bool operator==(const LabelProperties&) const = default;
};

struct ButtonProperties {
  static constexpr std::uint32_t kMaxVersion = 1;
  std::uint32_t version = kMaxVersion;
  std::uint32_t buttonType = 0;           // 9: 1 = default button
  std::uint32_t horizontalAlignment = 1;  // 11
  std::uint32_t verticalAlignment = 1;    // 12
  ByteArray picture;                      // 8
  std::optional<FontRecord> font;         // 13
  Text caption = MakeText("按钮");        // 10

  bool operator==(const ButtonProperties&) const = default;
};

struct CheckBoxProperties {
  static constexpr std::uint32_t kMaxVersion = 2;
  std::uint32_t version = kMaxVersion;
  std::uint32_t pushLike = 0;                             // 9
  std::uint32_t flat = 0;                                 // 10
  std::uint32_t textOnLeft = 0;                           // 12
  std::uint32_t horizontalAlignment = 0;                  // 13
  std::uint32_t verticalAlignment = 1;                    // 14
  std::uint32_t textColour = 0;                           // 15
  std::uint32_t backgroundColour = kSystemDefaultColour;  // 16
  std::uint32_t checked = 0;                              // 18
  ByteArray picture;                                      // 8
  std::optional<FontRecord> font;                         // 17
  Text caption = MakeText("选择框");                      // 11
  Text dataSource;                                        // 19, version 2 only
  Text dataColumn;                                        // 20, version 2 only

  bool operator==(const CheckBoxProperties&) const = default;
};

struct GroupBoxProperties {
  static constexpr std::uint32_t kMaxVersion = 1;
  std::uint32_t version = kMaxVersion;
  std::uint32_t style = 0;                                // 9
  std::uint32_t textColour = 0;                           // 10
  std::uint32_t backgroundColour = kSystemDefaultColour;  // 11
  std::optional<FontRecord> font;                         // 12
  Text caption;                                           // 8

  bool operator==(const GroupBoxProperties&) const = default;
};

struct DriverBoxProperties {
  static constexpr std::uint32_t kMaxVersion = 1;
  std::uint32_t version = kMaxVersion;
  std::uint8_t driveLetter = 0;               // 8: 0 = the current drive
  std::uint32_t driveKindFilter = 0;          // 9
  std::uint32_t textColour = 0;               // 10
  std::uint32_t backgroundColour = 0xFFFFFF;  // 11
  std::optional<FontRecord> font;             // 12

  bool operator==(const DriverBoxProperties&) const = default;
};

struct DirBoxProperties {
  static constexpr std::uint32_t kMaxVersion = 1;
  std::uint32_t version = kMaxVersion;
  std::uint32_t borderStyle = 1;              // 9
  std::uint32_t backgroundColour = 0xFFFFFF;  // 10
  std::optional<FontRecord> font;             // 11

  bool operator==(const DirBoxProperties&) const = default;
};

// The list (a report-mode list view whose rows the application supplies by
// number).  Columns are "name:width" or "name:width:r" (right-aligned),
// separated by "|".
struct ListViewProperties {
  static constexpr std::uint32_t kMaxVersion = 1;
  std::uint32_t version = kMaxVersion;
  std::uint32_t multiSelect = 1;      // 9
  std::uint32_t gridLines = 0;        // 10
  std::optional<FontRecord> font;     // 11
  Text columns;                       // 8

  bool operator==(const ListViewProperties&) const = default;
};

// Decoders: an empty block gives the defaults; nullopt for a version above
// the maximum, a read past the end or bytes left over.
std::optional<WindowProperties> WindowPropertiesDecode(std::span<const std::uint8_t> block);
std::optional<EditBoxProperties> EditBoxPropertiesDecode(std::span<const std::uint8_t> block);
std::optional<LabelProperties> LabelPropertiesDecode(std::span<const std::uint8_t> block);
std::optional<ButtonProperties> ButtonPropertiesDecode(std::span<const std::uint8_t> block);
std::optional<CheckBoxProperties> CheckBoxPropertiesDecode(std::span<const std::uint8_t> block);
std::optional<GroupBoxProperties> GroupBoxPropertiesDecode(std::span<const std::uint8_t> block);
std::optional<DriverBoxProperties> DriverBoxPropertiesDecode(std::span<const std::uint8_t> block);
std::optional<DirBoxProperties> DirBoxPropertiesDecode(std::span<const std::uint8_t> block);
std::optional<ListViewProperties> ListViewPropertiesDecode(std::span<const std::uint8_t> block);

// Encoders write the layout of the struct's version (fields of later
// versions are left out).
ByteArray WindowPropertiesEncode(const WindowProperties& p);
ByteArray EditBoxPropertiesEncode(const EditBoxProperties& p);
ByteArray LabelPropertiesEncode(const LabelProperties& p);
ByteArray ButtonPropertiesEncode(const ButtonProperties& p);
ByteArray CheckBoxPropertiesEncode(const CheckBoxProperties& p);
ByteArray GroupBoxPropertiesEncode(const GroupBoxProperties& p);
ByteArray DriverBoxPropertiesEncode(const DriverBoxProperties& p);
ByteArray DirBoxPropertiesEncode(const DirBoxProperties& p);
ByteArray ListViewPropertiesEncode(const ListViewProperties& p);
