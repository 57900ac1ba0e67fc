// Property numbers of the control kinds: what the templates, the engine's
// readers and writers and each kind's get and set functions agree on.
// Numbers 0 to 7 are common to every kind (CommonProperty in engine.h);
// each kind's own start at 8.
#pragma once

#include <cstdint>

struct WindowProperty {
  enum : std::int32_t {
    kCaption = 8,
    kBackgroundColour = 10,
    kStartPosition = 18,
    kMovable = 19,
    kEnterMovesFocus = 21,
    kEscCloses = 22,
    kF1OpensHelp = 23,
    kHelpFile = 24,
    kHelpTopic = 25,
    kTopMost = 29,
  };
};

struct LabelProperty {
  enum : std::int32_t {
    kCaption = 8,
    kTextEffect = 9,
    kBorderStyle = 10,
    kFont = 15,
    kTextColour = 16,
    kBackgroundColour = 17,
    kHorizontalAlignment = 24,
    kWordWrap = 25,
    kVerticalAlignment = 26,
  };
};

struct ButtonProperty {
  enum : std::int32_t {
    kPicture = 8,
    kButtonType = 9,
    kCaption = 10,
    kHorizontalAlignment = 11,
    kVerticalAlignment = 12,
    kFont = 13,
  };
};

struct CheckBoxProperty {
  enum : std::int32_t {
    kPushLike = 9,
    kFlat = 10,
    kCaption = 11,
    kTextOnLeft = 12,
    kHorizontalAlignment = 13,
    kVerticalAlignment = 14,
    kTextColour = 15,
    kBackgroundColour = 16,
    kFont = 17,
    kChecked = 18,
  };
};

struct GroupBoxProperty {
  enum : std::int32_t {
    kCaption = 8,
    kStyle = 9,
    kTextColour = 10,
    kBackgroundColour = 11,
    kFont = 12,
  };
};

struct EditBoxProperty {
  enum : std::int32_t {
    kContent = 8,
    kBorderStyle = 9,
    kTextColour = 10,
    kBackgroundColour = 11,
    kFont = 12,
    kHideSelection = 13,
    kMaxLength = 14,
    kMultiLine = 15,
    kScrollBars = 16,
    kAlignment = 17,
    kInputMode = 18,
    kPasswordChar = 19,
    kCaseConversion = 20,
    kSpinnerMode = 21,
    kSpinnerMinimum = 22,
    kSpinnerMaximum = 23,
    kSelectionStart = 24,
    kSelectionLength = 25,
  };
};

struct DriverBoxProperty {
  enum : std::int32_t {
    kDriveLetter = 8,
    kDriveKindFilter = 9,
    kTextColour = 10,
    kBackgroundColour = 11,
    kFont = 12,
  };
};

struct DirBoxProperty {
  enum : std::int32_t {
    kCurrentFolder = 8,
    kBorderStyle = 9,
    kBackgroundColour = 10,
    kFont = 11,
  };
};

struct ListViewProperty {
  enum : std::int32_t {
    kColumns = 8,         // text: "name:width[:r]|..."
    kMultiSelect = 9,     // logical
    kGridLines = 10,      // logical
    kFont = 11,
    kRowCount = 12,       // integer: the rows the application supplies
    kSelectedRow = 13,    // integer: the first selected row, -1 none; writing selects that row alone
    kSelectedRows = 14,   // text "3,5,9" (element -1), or element i: the i-th selected row, -1 past the end
    kSelectedCount = 15,  // integer, read only
    kSortColumn = 16,     // integer: the column whose header shows the sort arrow, -1 none
    kSortDescending = 17, // logical: the arrow points down
  };
};

// The parts of a font property, chosen by the element index (-1: the whole font).
enum FontPart : std::int32_t {
  kFontWhole = -1,
  kFontAngle = 0,
  kFontBold = 1,
  kFontItalic = 2,
  kFontUnderline = 3,
  kFontStrikeOut = 4,
  kFontSize = 5,
  kFontFaceName = 6,
};
