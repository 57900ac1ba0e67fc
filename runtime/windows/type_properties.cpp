#include "runtime/windows/type_properties.h"

#include <cstring>

#include "runtime/windows/byte_stream.h"

namespace {

// One field list per type serves both directions: the stream either fills
// the struct (decoding) or appends its fields (encoding).
struct FieldReader {
  ByteReader reader;
  void U8(std::uint8_t& v) { v = reader.U8(); }
  void U16(std::uint16_t& v) { v = reader.U16(); }
  void U32(std::uint32_t& v) { v = reader.U32(); }
  void Blob(ByteArray& v) { v = reader.Blob(); }
  void Counted(Text& v) { v = reader.CountedText(); }
  void Font(std::optional<FontRecord>& v) { v = FontRecordDecode(reader.BlobView()); }
};

struct FieldWriter {
  ByteWriter writer;
  void U8(std::uint8_t v) { writer.U8(v); }
  void U16(std::uint16_t v) { writer.U16(v); }
  void U32(std::uint32_t v) { writer.U32(v); }
  void Blob(const ByteArray& v) { writer.Blob(v); }
  void Counted(const Text& v) { writer.CountedText(v); }
  void Font(const std::optional<FontRecord>& v) {
    if (v) {
      writer.Blob(FontRecordEncode(*v));
    } else {
      writer.U32(0);
    }
  }
};

template <class S, class P>
void WindowFields(S& s, P& p) {
  s.U32(p.borderStyle);
  s.U32(p.pictureMode);
  s.U32(p.backgroundColour);
  s.U32(p.maximizeButton);
  s.U32(p.minimizeButton);
  s.U32(p.systemMenu);
  s.U32(p.startPosition);
  s.U32(p.movable);
  s.U32(p.property14);
  s.U32(p.enterMovesFocus);
  s.U32(p.escCloses);
  s.U32(p.f1OpensHelp);
  s.U32(p.helpTopic);
  if (p.version >= 2) s.U32(p.shownInTaskbar);
  if (p.version >= 3) {
    s.U32(p.property27);
    s.U32(p.shape);
  }
  if (p.version >= 4) s.U32(p.alwaysOnTop);
  if (p.version >= 5) s.U32(p.property30);
  if (p.version >= 6) s.Counted(p.className);
  s.Blob(p.backgroundPicture);
  s.Blob(p.property20Data);
  s.Blob(p.property13Data);
  s.Counted(p.caption);
  s.Counted(p.helpFile);
}

template <class S, class P>
void EditBoxFields(S& s, P& p) {
  s.U32(p.borderStyle);
  s.U32(p.textColour);
  s.U32(p.backgroundColour);
  s.U32(p.hideSelection);
  s.U32(p.maxLength);
  s.U32(p.multiLine);
  s.U32(p.scrollBars);
  s.U32(p.alignment);
  s.U32(p.inputMode);
  s.U16(p.passwordChar);
  s.U32(p.caseConversion);
  s.U32(p.spinnerMode);
  s.U32(p.spinnerMinimum);
  s.U32(p.spinnerMaximum);
  s.U32(p.selectionStart);
  s.U32(p.selectionLength);
  s.Font(p.font);
  s.Counted(p.content);
  if (p.version >= 2) {
    s.Counted(p.dataSource);
    s.Counted(p.dataColumn);
  }
}

template <class S, class P>
void LabelFields(S& s, P& p) {
  s.U32(p.textEffect);
  s.U32(p.frameInteger);
  s.U32(p.borderStyle);
  for (auto& c : p.frameColours) s.U32(c);
  s.U32(p.textColour);
  s.U32(p.backgroundColour);
  for (auto& c : p.backgroundChoices) s.U32(c);
  for (auto& c : p.backgroundColours) s.U32(c);
  s.U32(p.horizontalAlignment);
  s.U32(p.verticalAlignment);
  s.U32(p.wordWrap);
  s.Font(p.font);
  s.Blob(p.backgroundPicture);
  s.Counted(p.caption);
  if (p.version >= 2) {
    s.Counted(p.dataSource);
    s.Counted(p.dataColumn);
  }
}

template <class S, class P>
void ButtonFields(S& s, P& p) {
  s.U32(p.buttonType);
  s.U32(p.horizontalAlignment);
  s.U32(p.verticalAlignment);
  s.Blob(p.picture);
  s.Font(p.font);
  s.Counted(p.caption);
}

template <class S, class P>
void CheckBoxFields(S& s, P& p) {
  s.U32(p.pushLike);
  s.U32(p.flat);
  s.U32(p.textOnLeft);
  s.U32(p.horizontalAlignment);
  s.U32(p.verticalAlignment);
  s.U32(p.textColour);
  s.U32(p.backgroundColour);
  s.U32(p.checked);
  s.Blob(p.picture);
  s.Font(p.font);
  s.Counted(p.caption);
  if (p.version >= 2) {
    s.Counted(p.dataSource);
    s.Counted(p.dataColumn);
  }
}

template <class S, class P>
void GroupBoxFields(S& s, P& p) {
  s.U32(p.style);
  s.U32(p.textColour);
  s.U32(p.backgroundColour);
  s.Font(p.font);
  s.Counted(p.caption);
}

template <class S, class P>
void DriverBoxFields(S& s, P& p) {
  s.U8(p.driveLetter);
  s.U32(p.driveKindFilter);
  s.U32(p.textColour);
  s.U32(p.backgroundColour);
  s.Font(p.font);
}

template <class S, class P>
void DirBoxFields(S& s, P& p) {
  s.U32(p.borderStyle);
  s.U32(p.backgroundColour);
  s.Font(p.font);
}

template <class S, class P>
void ListViewFields(S& s, P& p) {
  s.U32(p.multiSelect);
  s.U32(p.gridLines);
  s.Font(p.font);
  s.Counted(p.columns);
}

template <class P, class Fields>
std::optional<P> Decode(std::span<const std::uint8_t> block, Fields fields) {
  P p;
  if (block.empty()) return p;
  FieldReader s{ByteReader(block)};
  p.version = s.reader.U32();
  if (!s.reader.Ok() || p.version > P::kMaxVersion) return std::nullopt;
  fields(s, p);
  if (!s.reader.AtEnd()) return std::nullopt;
  return p;
}

template <class P, class Fields>
ByteArray Encode(const P& p, Fields fields) {
  FieldWriter s;
  s.writer.U32(p.version);
  fields(s, p);
  return s.writer.Take();
}

#define EE_PROPERTY_CODEC(Type)                                                                 \
  std::optional<Type##Properties> Type##PropertiesDecode(std::span<const std::uint8_t> block) { \
    return Decode<Type##Properties>(block, [](auto& s, auto& p) { Type##Fields(s, p); });       \
  }                                                                                             \
  ByteArray Type##PropertiesEncode(const Type##Properties& p) {                                 \
    return Encode(p, [](auto& s, auto& q) { Type##Fields(s, q); });                             \
  }

}  // namespace

std::optional<FontRecord> FontRecordDecode(std::span<const std::uint8_t> blob) {
  if (blob.size() != FontRecord::kSize) return std::nullopt;
  ByteReader r(blob);
  FontRecord f;
  f.height = r.I32();
  f.width = r.I32();
  f.escapement = r.I32();
  f.orientation = r.I32();
  f.weight = r.I32();
  f.italic = r.U8();
  f.underline = r.U8();
  f.strikeOut = r.U8();
  f.charSet = r.U8();
  f.outPrecision = r.U8();
  f.clipPrecision = r.U8();
  f.quality = r.U8();
  f.pitchAndFamily = r.U8();
  auto face = r.Take(f.faceName.size());
  std::memcpy(f.faceName.data(), face.data(), face.size());
  return f;
}

ByteArray FontRecordEncode(const FontRecord& f) {
  ByteWriter w;
  w.I32(f.height);
  w.I32(f.width);
  w.I32(f.escapement);
  w.I32(f.orientation);
  w.I32(f.weight);
  for (std::uint8_t b : {f.italic, f.underline, f.strikeOut, f.charSet, f.outPrecision, f.clipPrecision,
                         f.quality, f.pitchAndFamily}) {
    w.U8(b);
  }
  w.Bytes({reinterpret_cast<const std::uint8_t*>(f.faceName.data()), f.faceName.size()});
  return w.Take();
}

EE_PROPERTY_CODEC(Window)
EE_PROPERTY_CODEC(EditBox)
EE_PROPERTY_CODEC(Label)
EE_PROPERTY_CODEC(Button)
EE_PROPERTY_CODEC(CheckBox)
EE_PROPERTY_CODEC(GroupBox)
EE_PROPERTY_CODEC(DriverBox)
EE_PROPERTY_CODEC(DirBox)
EE_PROPERTY_CODEC(ListView)
