#include "app/streams/xml_tree.h"

std::optional<XmlTree> XmlTreeBuild(std::string_view text) {
  XmlTokenizer tokenizer(text);
  XmlTree tree;
  // The open elements that were kept; `skipped` counts open ones left out
  // below the last kept one, so that their end tags close nothing kept.
  std::vector<std::size_t> open;
  std::size_t skipped = 0;
  bool rootClosed = false;
  while (!rootClosed) {
    XmlToken token = tokenizer.Next();
    switch (token.kind) {
      case XmlTokenKind::Finished:
        // A truncated document keeps what was read, if anything.
        if (tree.elements.empty()) return std::nullopt;
        tree.cut = tree.cut || !open.empty();
        return tree;
      case XmlTokenKind::Malformed:
        return std::nullopt;
      case XmlTokenKind::Text:
        if (!open.empty() && skipped == 0) {
          std::string& kept = tree.elements[open.back()].text;
          if (kept.size() + token.text.size() <= kXmlMaxTextBytes) kept += token.text;
        }
        break;
      case XmlTokenKind::Start: {
        const bool keep =
            skipped == 0 && open.size() < kXmlMaxDepth && tree.elements.size() < kXmlMaxElements;
        if (!keep) {
          tree.cut = true;
          if (!token.selfClosing) ++skipped;
          break;
        }
        const std::size_t index = tree.elements.size();
        if (!open.empty()) tree.elements[open.back()].children.push_back(index);
        tree.elements.push_back({XmlLocalName(token.name), std::move(token.attributes), {}, {}});
        if (!token.selfClosing) {
          open.push_back(index);
        } else if (open.empty()) {
          rootClosed = true;
        }
        break;
      }
      case XmlTokenKind::End:
        // End tags are matched by count, not by name: the tree is for
        // reading, and a mismatched name costs nothing worse than nesting.
        if (skipped > 0) {
          --skipped;
        } else if (!open.empty()) {
          open.pop_back();
          rootClosed = open.empty();
        }
        break;
    }
  }
  return tree;
}

const std::string* XmlAttributeFind(const XmlElement& element, std::string_view name) {
  for (const XmlAttribute& attribute : element.attributes) {
    if (XmlLocalName(attribute.name) == name) return &attribute.value;
  }
  return nullptr;
}
