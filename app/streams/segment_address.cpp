#include "app/streams/segment_address.h"

#include <string_view>

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
