#include "app/extensions/extension_catalogue.h"

#include <initializer_list>

#include "runtime/commands/text_commands.h"

SnapshotCell<TextArray> VideoExtensions;
SnapshotCell<TextArray> AudioExtensions;
SnapshotCell<TextArray> CustomExtensions;

namespace {

TextArray ListOf(std::initializer_list<std::string_view> entries) {
  TextArray list;
  list.reserve(entries.size());
  for (const std::string_view entry : entries) list.push_back(MakeText(entry));
  return list;
}

// The suffix test: the last TextLength(entry) bytes of the path (the whole
// path when it is shorter) compared byte for byte.  An empty entry takes an
// empty suffix and so matches every path.
bool EndsWithEntry(std::string_view path, const Text& entry) {
  const Text tail = TextRight(path, TextLength(entry));
  return tail == std::string_view(entry).substr(0, static_cast<std::size_t>(TextLength(entry)));
}

const Text* FirstMatch(std::string_view path, const TextArray& list) {
  for (const Text& entry : list) {
    if (EndsWithEntry(path, entry)) return &entry;
  }
  return nullptr;
}

}  // namespace

TextArray BuiltInVideoExtensions() {
  // ".3gp" stands twice (entries 11 and 16), as the list has always had it.
  return ListOf({".flv", ".mp4", ".f4v", ".mpeg", ".mpg", ".avi", ".mov", ".asf", ".wmv", ".navi", ".3gp",
                 ".rm", ".rmvb", ".m4v", ".hlv", ".3gp"});
}

TextArray BuiltInAudioExtensions() {
  return ListOf({".wav", ".aiff", ".au", ".mp3", ".mid", ".mp1", ".mp2", ".ra", ".rmx", ".wma", ".dat"});
}

void BuiltInExtensionsFill() {
  VideoExtensions.Replace(BuiltInVideoExtensions());
  AudioExtensions.Replace(BuiltInAudioExtensions());
}

TextArray CustomExtensionsParse(std::string_view text) { return TextSplit(text, std::string_view(";")); }

Classification ClassifyPath(std::string_view fullPath, ClassSwitches& switches) {
  struct ClassList {
    ExtensionClass extensionClass;
    SnapshotCell<TextArray>& list;
    bool (ClassSwitches::*checked)();
  };
  const ClassList order[] = {
      {ExtensionClass::Video, VideoExtensions, &ClassSwitches::VideoChecked},
      {ExtensionClass::Audio, AudioExtensions, &ClassSwitches::AudioChecked},
      {ExtensionClass::UserDefined, CustomExtensions, &ClassSwitches::UserDefinedChecked},
  };
  for (const ClassList& candidate : order) {
    // A switch is read only when its class is reached.
    if (!(switches.*candidate.checked)()) continue;
    const auto snapshot = candidate.list.Snapshot();
    if (const Text* entry = FirstMatch(fullPath, *snapshot)) return {candidate.extensionClass, *entry};
  }
  return {};
}

Classification ClassifyMediaElement(ExtensionClass mediaClass, std::string_view extension,
                                    ClassSwitches& switches) {
  if (extension.empty()) return {};
  // The switches are asked through the same members as ClassifyPath asks them.
  bool (ClassSwitches::*ownClass)() = nullptr;
  if (mediaClass == ExtensionClass::Video) ownClass = &ClassSwitches::VideoChecked;
  if (mediaClass == ExtensionClass::Audio) ownClass = &ClassSwitches::AudioChecked;
  if (ownClass != nullptr && (switches.*ownClass)()) {
    Text entry = MakeText(".");
    entry += extension;
    return {mediaClass, std::move(entry)};
  }
  bool (ClassSwitches::*userDefined)() = &ClassSwitches::UserDefinedChecked;
  if (!(switches.*userDefined)()) return {};
  const auto custom = CustomExtensions.Snapshot();
  for (const Text& entry : *custom) {
    if (std::string_view(entry) == extension) return {ExtensionClass::UserDefined, entry};
  }
  return {};
}
