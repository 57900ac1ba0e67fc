#include "app/streams/web_address.h"

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of "scheme" before a ':' (0 when the text does not start with one).
std::size_t SchemeLength(std::string_view text) {
  if (text.empty() || !IsAlpha(text[0])) return 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return i;
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// RFC 3986 5.2.4, working on whole segments of the input.
std::string DotSegmentsRemoved(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./")) {
      input.remove_prefix(2);
    } else if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../") || input == "/..") {
      input = input.size() == 3 ? std::string_view("/") : input.substr(3);
      const std::size_t slash = output.rfind('/');
      output.erase(slash == std::string::npos ? 0 : slash);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      // The first segment with its leading slash, up to the next slash.
      const std::size_t next = input.find('/', input.front() == '/' ? 1 : 0);
      const std::size_t length = next == std::string_view::npos ? input.size() : next;
      output.append(input.substr(0, length));
      input.remove_prefix(length);
    }
  }
  return output;
}

// RFC 3986 5.2.3.
std::string PathsMerged(const WebAddressParts& base, std::string_view referencePath) {
  if (base.hasAuthority && base.path.empty()) return "/" + std::string(referencePath);
  const std::size_t slash = base.path.rfind('/');
  if (slash == std::string_view::npos) return std::string(referencePath);
  return std::string(base.path.substr(0, slash + 1)) + std::string(referencePath);
}

}  // namespace

WebAddressParts WebAddressSplit(std::string_view address) {
  WebAddressParts parts;
  const std::size_t hash = address.find('#');
  if (hash != std::string_view::npos) {
    parts.hasFragment = true;
    parts.fragment = address.substr(hash + 1);
    address = address.substr(0, hash);
  }
  const std::size_t question = address.find('?');
  if (question != std::string_view::npos) {
    parts.hasQuery = true;
    parts.query = address.substr(question + 1);
    address = address.substr(0, question);
  }
  if (const std::size_t scheme = SchemeLength(address); scheme > 0) {
    parts.hasScheme = true;
    parts.scheme = address.substr(0, scheme);
    address.remove_prefix(scheme + 1);
  }
  if (address.starts_with("//")) {
    address.remove_prefix(2);
    const std::size_t slash = address.find('/');
    parts.hasAuthority = true;
    parts.authority = address.substr(0, slash);
    address = slash == std::string_view::npos ? std::string_view() : address.substr(slash);
  }
  parts.path = address;
  return parts;
}

std::string WebAddressResolve(std::string_view base, std::string_view reference) {
  const WebAddressParts r = WebAddressSplit(Trimmed(reference));
  const WebAddressParts b = WebAddressSplit(base);
  std::string_view scheme;
  bool hasScheme = false;
  std::string_view authority;
  bool hasAuthority = false;
  std::string path;
  std::string_view query;
  bool hasQuery = false;
  if (r.hasScheme) {
    scheme = r.scheme, hasScheme = true;
    authority = r.authority, hasAuthority = r.hasAuthority;
    path = DotSegmentsRemoved(r.path);
    query = r.query, hasQuery = r.hasQuery;
  } else {
    scheme = b.scheme, hasScheme = b.hasScheme;
    if (r.hasAuthority) {
      authority = r.authority, hasAuthority = true;
      path = DotSegmentsRemoved(r.path);
      query = r.query, hasQuery = r.hasQuery;
    } else {
      authority = b.authority, hasAuthority = b.hasAuthority;
      if (r.path.empty()) {
        path = std::string(b.path);
        query = r.hasQuery ? r.query : b.query;
        hasQuery = r.hasQuery || b.hasQuery;
      } else {
        path = DotSegmentsRemoved(r.path.front() == '/' ? std::string(r.path) : PathsMerged(b, r.path));
        query = r.query, hasQuery = r.hasQuery;
      }
    }
  }
  std::string result;
  result.reserve(scheme.size() + authority.size() + path.size() + query.size() + 5);
  if (hasScheme) result.append(scheme).push_back(':');
  if (hasAuthority) result.append("//").append(authority);
  result.append(path);
  if (hasQuery) result.append("?").append(query);
  return result;
}
