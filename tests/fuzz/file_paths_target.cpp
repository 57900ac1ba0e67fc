// What decides the fate of a new file, fed with outside text: the user's own
// extension list as typed, a path built from a file name the system reported,
// and the save folder as chosen.  The list is classified against the path, the
// path tested against the save folder, and the copy's name built.
#include "app/detection/detection_paths.h"
#include "app/extensions/extension_catalogue.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

class Switches : public ClassSwitches {
 public:
  explicit Switches(std::uint8_t bits) : bits_(bits) {}
  bool VideoChecked() override { return bits_ & 1; }
  bool AudioChecked() override { return bits_ & 2; }
  bool UserDefinedChecked() override { return bits_ & 4; }

 private:
  std::uint8_t bits_;
};

std::string_view Terminated(std::string_view text) { return text.substr(0, text.find('\0')); }

// The bytes up to the first 0x01, so that one input carries several texts.
std::string_view NextText(std::string_view& rest) {
  const auto end = rest.find('\x01');
  const std::string_view text = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  return text;
}

}  // namespace

void FuzzFilePaths(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  Switches switches(input.Byte());
  const int number = 1 + input.Byte() % 4;
  std::string_view rest = AsChars(input.Rest());
  const std::string_view listText = NextText(rest);
  const std::string_view path = NextText(rest);
  const std::string_view saveFolder = NextText(rest);

  const TextArray list = CustomExtensionsParse(listText);
  for (const Text& entry : list) FUZZ_CHECK(entry.find('\0') == Text::npos);
  BuiltInExtensionsFill();
  CustomExtensions.Replace(TextArray(list));

  // A match is always a true suffix of the path, from a list whose class is on.
  const Classification found = ClassifyPath(path, switches);
  if (found.extensionClass != ExtensionClass::None) {
    FUZZ_CHECK(Terminated(path).ends_with(std::string_view(found.entry)));
    FUZZ_CHECK(found.extensionClass != ExtensionClass::Video || switches.VideoChecked());
    FUZZ_CHECK(found.extensionClass != ExtensionClass::Audio || switches.AudioChecked());
    FUZZ_CHECK(found.extensionClass != ExtensionClass::UserDefined || switches.UserDefinedChecked());
  }

  // The folder part ends just before a real separator, never inside a
  // double-byte character.
  const std::string_view folder = FolderPartOf(path);
  if (!folder.empty() || path.starts_with('\\')) {
    FUZZ_CHECK(path.substr(0, folder.size()) == folder);
    FUZZ_CHECK(path.size() > folder.size() && path[folder.size()] == '\\');
    std::size_t boundary = 0;
    while (boundary < folder.size()) boundary += static_cast<unsigned char>(folder[boundary]) >= 0x80 ? 2 : 1;
    FUZZ_CHECK(boundary == folder.size());
  }
  FUZZ_CHECK(FolderTextsEqual(saveFolder, saveFolder));
  FUZZ_CHECK(FolderTextsEqual(folder, saveFolder) == FolderTextsEqual(saveFolder, folder));

  // The copy's name: the save folder, one separator, the time, the number
  // from 2 on, the entry (after a dot for the user's own entries).
  const DestinationName name = DestinationNameOf("2011年1月22日9时5分7秒", found);
  const Text destination = DestinationPath(saveFolder, name, number);
  const std::string_view written(destination);
  FUZZ_CHECK(written.substr(0, saveFolder.size() + 1) == Text(saveFolder) + "\\");
  FUZZ_CHECK(written.ends_with(std::string_view(found.entry)));
  FUZZ_CHECK((found.extensionClass == ExtensionClass::UserDefined) ==
             written.substr(0, written.size() - found.entry.size()).ends_with("."));
  const std::string_view middle =
      written.substr(saveFolder.size(), written.size() - saveFolder.size() - found.entry.size());
  FUZZ_CHECK((number > 1) == (middle.find('(') != std::string_view::npos));
}
