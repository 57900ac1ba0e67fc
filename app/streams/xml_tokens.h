// A small pull tokenizer for the XML of DASH manifests: start and end tags
// with their attributes (entities decoded), text, and nothing else (the
// declaration, comments, DOCTYPE and CDATA sections are skipped).  It checks
// only what it needs to move on; on anything it cannot read it stops with
// Malformed.  No namespace processing: names are returned as written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Attributes kept per element; more are dropped.
constexpr std::size_t kXmlMaxAttributes = 64;

enum class XmlTokenKind { Start, End, Text, Finished, Malformed };

struct XmlAttribute {
  std::string_view name;
  std::string value;
};

struct XmlToken {
  XmlTokenKind kind = XmlTokenKind::Finished;
  std::string_view name;  // Start, End
  std::vector<XmlAttribute> attributes;
  bool selfClosing = false;  // Start written as <name ... />
  std::string text;          // Text, never only white space
};

class XmlTokenizer {
 public:
  explicit XmlTokenizer(std::string_view text) : text_(text) {}
  // The next token; Finished at the end, Malformed (for good) on bad input.
  XmlToken Next();

 private:
  bool SkipPast(std::string_view terminator);
  bool TagRead(XmlToken& token);
  bool AttributesRead(XmlToken& token);
  std::string_view NameRead();
  void BlankSkip();

  std::string_view text_;
  std::size_t at_ = 0;
  bool failed_ = false;
};

// `text` with the five predefined entities and character references
// (&#N; &#xN;, written as UTF-8) replaced; unknown ones are left as written.
std::string XmlEntitiesDecoded(std::string_view text);

// The name without its namespace prefix ("mpd:MPD" -> "MPD").
std::string_view XmlLocalName(std::string_view name);
