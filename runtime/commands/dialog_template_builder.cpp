#include "runtime/commands/dialog_template_builder.h"

DialogTemplateBuilder::DialogTemplateBuilder(DWORD style, short width, short height,
                                             std::wstring_view caption, std::wstring_view fontName,
                                             WORD fontPoints) {
  words_.reserve(512);
  DwordAdd(style);
  DwordAdd(0);  // extended style
  itemCountIndex_ = words_.size();
  WordAdd(0);
  WordAdd(0);  // x, y: DS_CENTER or the system places the dialog
  WordAdd(0);
  WordAdd(static_cast<WORD>(width));
  WordAdd(static_cast<WORD>(height));
  WordAdd(0);  // no menu
  WordAdd(0);  // the standard dialog class
  TextAdd(caption);
  if (style & DS_SETFONT) {
    WordAdd(fontPoints);
    TextAdd(fontName);
  }
}

void DialogTemplateBuilder::ItemAdd(const DialogItemArgs& item) {
  DwordAlign();
  DwordAdd(item.style);
  DwordAdd(item.exStyle);
  WordAdd(static_cast<WORD>(item.x));
  WordAdd(static_cast<WORD>(item.y));
  WordAdd(static_cast<WORD>(item.width));
  WordAdd(static_cast<WORD>(item.height));
  WordAdd(item.id);
  WordAdd(0xFFFF);  // a predefined class by atom
  WordAdd(static_cast<WORD>(item.kind));
  TextAdd(item.text);
  WordAdd(0);  // no creation data
  ++words_[itemCountIndex_];
}

void DialogTemplateBuilder::DwordAdd(DWORD value) {
  WordAdd(LOWORD(value));
  WordAdd(HIWORD(value));
}

void DialogTemplateBuilder::TextAdd(std::wstring_view text) {
  for (wchar_t unit : text) WordAdd(static_cast<WORD>(unit));
  WordAdd(0);
}

void DialogTemplateBuilder::DwordAlign() {
  if (words_.size() % 2 != 0) WordAdd(0);
}
