#include "app/detection/detection_paths.h"

#include <algorithm>
#include <string>

#include "runtime/core/text_encoding.h"

namespace {

std::string_view WithoutTrailingSeparators(std::string_view folder) {
  // A "\" that ends a double-byte character is not a separator.
  std::string_view::size_type end = folder.size();
  while (end > 0) {
    const std::string_view::size_type cut = FolderPartOf(folder.substr(0, end)).size();
    if (cut + 1 != end) break;
    end = cut;
  }
  return folder.substr(0, end);
}

}  // namespace

DestinationName DestinationNameOf(std::string_view detectionTime, const Classification& classification) {
  DestinationName name{MakeText(detectionTime), {}};
  name.extension.reserve(classification.entry.size() + 1);
  if (classification.extensionClass == ExtensionClass::UserDefined) name.extension.push_back('.');
  name.extension.append(classification.entry);
  return name;
}

Text DestinationPath(std::string_view saveFolder, const DestinationName& name, int number) {
  Text path = MakeText(saveFolder);
  path += '\\';
  path += name.detectionTime;
  if (number > 1) {
    path += '(';
    path += MakeText(std::to_string(number));
    path += ')';
  }
  path += name.extension;
  return path;
}

std::string_view FolderPartOf(std::string_view path) {
  std::string_view::size_type lastSeparator = std::string_view::npos;
  for (std::string_view::size_type i = 0; i < path.size(); ++i) {
    if (AnsiStartsDoubleByte(path[i])) {
      ++i;  // the trail byte may be 0x5C and is not a separator
      continue;
    }
    if (path[i] == '\\') lastSeparator = i;
  }
  if (lastSeparator == std::string_view::npos) return {};
  return path.substr(0, lastSeparator);
}

bool FolderTextsEqual(std::string_view left, std::string_view right) {
  left = WithoutTrailingSeparators(left);
  right = WithoutTrailingSeparators(right);
  return AnsiEqualFold(left, right);
}
