// Builds a dialog template in memory (DLGTEMPLATE followed by its items),
// for dialogs the runtime shows without a resource.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

struct DialogItemArgs {
  enum class Kind : WORD { Button = 0x0080, Edit = 0x0081, Static = 0x0082 };
  Kind kind = Kind::Static;
  WORD id = 0;
  short x = 0, y = 0, width = 0, height = 0;  // dialog units
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD exStyle = 0;
  std::wstring_view text;
};

class DialogTemplateBuilder {
 public:
  // style should hold DS_SETFONT when a font is given.
  DialogTemplateBuilder(DWORD style, short width, short height, std::wstring_view caption,
                        std::wstring_view fontName, WORD fontPoints);
  void ItemAdd(const DialogItemArgs& item);
  // The template, DWORD-aligned as DialogBoxIndirectParam requires.
  const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void WordAdd(WORD value) { words_.push_back(value); }
  void DwordAdd(DWORD value);
  void TextAdd(std::wstring_view text);
  void DwordAlign();

  // The heap block is aligned well beyond the DWORD the template starts on.
  std::vector<WORD> words_;
  std::size_t itemCountIndex_ = 0;
};
