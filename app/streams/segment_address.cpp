#include "app/streams/segment_address.h"

#include <algorithm>
#include <string_view>

namespace {

bool IsDotSegment(std::string_view segment) { return segment == "." || segment == ".."; }

// Whether some "/"-separated segment of `path` is "." or "..".
bool HasDotSegment(std::string_view path) {
  for (std::size_t start = 0;;) {
    const std::size_t end = path.find('/', start);
    if (IsDotSegment(path.substr(start, end - start))) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

bool IsSchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
         c == '.';
}

// A relative path that resolves by plain appending to the base's folder.
bool IsPlainRelative(std::string_view reference) {
  if (reference.empty() || reference.front() == '/') return false;
  for (const char c : reference) {
    if (static_cast<unsigned char>(c) <= ' ' || c == ':' || c == '?' || c == '#' || c == '\\') return false;
  }
  return !HasDotSegment(reference);
}

}  // namespace

bool operator==(const SegmentAddress& a, const SegmentAddress& b) {
  if (a.size() != b.size()) return false;
  if (a.folder_ == b.folder_) return a.rest_ == b.rest_;
  return a.Text() == b.Text();
}

SegmentAddress SegmentAddressMaker::Make(std::string whole) {
  // The folder ends at the last "/" before the query: "?a=1/2" stays in the rest.
  const std::size_t path = std::string_view(whole).substr(0, whole.find_first_of("?#")).rfind('/');
  if (path == std::string::npos) return SegmentAddress(std::move(whole));
  const std::string_view folder = std::string_view(whole).substr(0, path + 1);
  if (!folder_ || *folder_ != folder) {
    folder_ = std::make_shared<const std::string>(folder);
    folderBytes_ += folder.size();
  }
  return SegmentAddress(folder_, whole.substr(path + 1));
}

void SegmentAddressMaker::SetBase(std::string_view base) {
  baseFolder_.clear();
  relativeDir_.clear();
  relativeFolder_.reset();
  // Only "scheme://authority/path...": the folder is then the base up to the
  // path's last "/" before any query or fragment.
  const std::size_t schemeEnd = base.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return;
  for (std::size_t i = 0; i < schemeEnd; ++i)
    if (!IsSchemeChar(base[i]) || (i == 0 && !((base[i] | 0x20) >= 'a' && (base[i] | 0x20) <= 'z'))) return;
  const std::size_t pathStart = base.find_first_of("/?#", schemeEnd + 3);
  if (pathStart == std::string_view::npos || base[pathStart] != '/') return;
  const std::size_t pathEnd = std::min(base.find_first_of("?#", pathStart), base.size());
  const std::size_t folderEnd = base.rfind('/', pathEnd - 1) + 1;
  if (HasDotSegment(base.substr(pathStart + 1, folderEnd - pathStart - 1))) return;
  if (base.substr(0, folderEnd).find('\\') != std::string_view::npos) return;
  baseFolder_ = base.substr(0, folderEnd);
}

std::optional<SegmentAddress> SegmentAddressMaker::MakeRelative(std::string_view reference) {
  if (baseFolder_.empty() || !IsPlainRelative(reference)) return std::nullopt;
  const std::size_t nameStart = reference.rfind('/') + 1;  // npos + 1 == 0
  const std::string_view dir = reference.substr(0, nameStart);
  if (!relativeFolder_ || dir != relativeDir_) {
    std::string folder = baseFolder_;
    folder.append(dir);
    if (!folder_ || *folder_ != folder) {
      folderBytes_ += folder.size();
      folder_ = std::make_shared<const std::string>(std::move(folder));
    }
    relativeFolder_ = folder_;
    relativeDir_ = dir;
  }
  return SegmentAddress(relativeFolder_, std::string(reference.substr(nameStart)));
}
