#include "app/streams/xml_tokens.h"

#include <cstdint>

#include "runtime/core/text_encoding.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameEnd(char c) { return IsBlank(c) || c == '/' || c == '>' || c == '=' || c == '<'; }

// The character a reference between '&' and ';' stands for.
bool EntityDecode(std::string_view entity, std::string& out) {
  static constexpr struct {
    std::string_view name;
    char character;
  } kNamed[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& named : kNamed) {
    if (entity == named.name) {
      out.push_back(named.character);
      return true;
    }
  }
  if (entity.size() < 2 || entity[0] != '#') return false;
  const bool hex = entity[1] == 'x' || entity[1] == 'X';
  const std::string_view digits = entity.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t code = 0;
  for (const char c : digits) {
    std::uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    code = code * (hex ? 16 : 10) + digit;
  }
  Utf8Append(out, code == 0 ? 0xFFFD : code);  // XML has no character zero
  return true;
}

}  // namespace

std::string XmlEntitiesDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t amp = text.find('&', at);
    if (amp == std::string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, amp - at));
    // References are short: only a near ';' can end one (and looking no
    // further keeps a text of many '&' linear).
    const std::size_t semicolon = text.substr(amp + 1, 12).find(';');
    if (semicolon != std::string_view::npos && EntityDecode(text.substr(amp + 1, semicolon), out)) {
      at = amp + 1 + semicolon + 1;
    } else {
      out.push_back('&');
      at = amp + 1;
    }
  }
  return out;
}

std::string_view XmlLocalName(std::string_view name) {
  const std::size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool XmlTokenizer::SkipPast(std::string_view terminator) {
  const std::size_t end = text_.find(terminator, at_);
  if (end == std::string_view::npos) return false;
  at_ = end + terminator.size();
  return true;
}

void XmlTokenizer::BlankSkip() {
  while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
}

std::string_view XmlTokenizer::NameRead() {
  const std::size_t start = at_;
  while (at_ < text_.size() && !IsNameEnd(text_[at_])) ++at_;
  return text_.substr(start, at_ - start);
}

bool XmlTokenizer::AttributesRead(XmlToken& token) {
  while (true) {
    BlankSkip();
    if (at_ >= text_.size()) return false;
    if (text_[at_] == '>') {
      ++at_;
      return true;
    }
    if (text_.substr(at_).starts_with("/>")) {
      at_ += 2;
      token.selfClosing = true;
      return true;
    }
    const std::string_view name = NameRead();
    if (name.empty()) return false;
    BlankSkip();
    if (at_ >= text_.size() || text_[at_] != '=') return false;
    ++at_;
    BlankSkip();
    if (at_ >= text_.size() || (text_[at_] != '"' && text_[at_] != '\'')) return false;
    const char quote = text_[at_++];
    const std::size_t close = text_.find(quote, at_);
    if (close == std::string_view::npos) return false;
    if (token.attributes.size() < kXmlMaxAttributes)
      token.attributes.push_back({name, XmlEntitiesDecoded(text_.substr(at_, close - at_))});
    at_ = close + 1;
  }
}

bool XmlTokenizer::TagRead(XmlToken& token) {
  ++at_;  // '<'
  if (at_ < text_.size() && text_[at_] == '/') {
    ++at_;
    token.kind = XmlTokenKind::End;
    token.name = NameRead();
    BlankSkip();
    if (token.name.empty() || at_ >= text_.size() || text_[at_] != '>') return false;
    ++at_;
    return true;
  }
  token.kind = XmlTokenKind::Start;
  token.name = NameRead();
  if (token.name.empty()) return false;
  return AttributesRead(token);
}

XmlToken XmlTokenizer::Next() {
  XmlToken token;
  while (!failed_) {
    if (at_ >= text_.size()) return token;  // Finished
    const std::string_view rest = text_.substr(at_);
    if (rest.front() != '<') {
      const std::size_t end = text_.find('<', at_);
      const std::string_view raw = text_.substr(at_, end == std::string_view::npos ? text_.npos : end - at_);
      at_ += raw.size();
      bool blank = true;
      for (const char c : raw) blank = blank && IsBlank(c);
      if (blank) continue;
      token.kind = XmlTokenKind::Text;
      token.text = XmlEntitiesDecoded(raw);
      return token;
    }
    bool skipped = true;
    if (rest.starts_with("<?")) {
      skipped = SkipPast("?>");
    } else if (rest.starts_with("<!--")) {
      at_ += 4;
      skipped = SkipPast("-->");
    } else if (rest.starts_with("<![CDATA[")) {
      skipped = SkipPast("]]>");
    } else if (rest.starts_with("<!")) {
      // DOCTYPE, with an internal subset in brackets perhaps.
      const std::size_t close = rest.find('>');
      const bool subset = rest.substr(0, close).find('[') != std::string_view::npos;
      skipped = subset ? SkipPast("]>") : SkipPast(">");
    } else if (TagRead(token)) {
      return token;
    } else {
      skipped = false;
    }
    if (!skipped) failed_ = true;
  }
  token = {};
  token.kind = XmlTokenKind::Malformed;
  return token;
}
