// A bounded element tree built from XmlTokenizer's tokens, for readers that
// need to look up and down (a DASH Representation inherits from its
// AdaptationSet and Period).  Elements beyond the caps are left out and the
// tree says it was cut.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/streams/xml_tokens.h"

constexpr std::size_t kXmlMaxElements = 200'000;
constexpr std::size_t kXmlMaxDepth = 32;
constexpr std::size_t kXmlMaxTextBytes = 64u << 10;  // text kept per element

struct XmlElement {
  std::string_view name;  // local name, without a namespace prefix
  std::vector<XmlAttribute> attributes;
  std::string text;                   // the element's own text, concatenated
  std::vector<std::size_t> children;  // indices into XmlTree::elements
};

struct XmlTree {
  std::vector<XmlElement> elements;  // elements[0] is the root when not empty
  bool cut = false;                  // elements beyond the caps were left out
};

// Nothing when the text is malformed before its root element is closed.
// The views in the tree point into `text`.
std::optional<XmlTree> XmlTreeBuild(std::string_view text);

// The attribute's value (local names compared); nothing when absent.
const std::string* XmlAttributeFind(const XmlElement& element, std::string_view name);
