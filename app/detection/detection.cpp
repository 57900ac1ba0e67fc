// The detection step.  The watcher's one hand-off thread calls it for one
// file at a time, and so may any other thread; the detection lock keeps the
// steps strictly one after another, from classification to the last
// message, whoever calls, while the window thread goes on.
#include "app/detection/detection.h"

#include <windows.h>

#include <atomic>

#include "app/detection/detection_paths.h"
#include "app/detection/detection_save.h"
#include "app/detection/detection_messages.h"
#include "app/detection/detection_texts.h"
#include "app/detection/extraction_copy.h"
#include "app/program_state/shared_values.h"
#include "runtime/commands/event_pump.h"
#include "runtime/commands/value_commands.h"
#include "runtime/core/critical_sections.h"

namespace {

constexpr std::int32_t kRetryDelayMilliseconds = 1000;
std::atomic<ClassSwitches*> defaultSwitches{nullptr};

// The folder as the file system resolves it (relative parts, an empty text
// meaning the current drive's root, doubled separators).
Text FullFolderPath(std::string_view folder) {
  Text withSeparator = MakeText(folder);
  withSeparator += '\\';
  char full[MAX_PATH * 2];
  const DWORD length = GetFullPathNameA(withSeparator.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return withSeparator;
  return Text(full, length);
}

// A file directly in the save folder is one of the tool's own copies.
bool LiesInSaveFolder(std::string_view fullPath) {
  const Text saveFolder = FullFolderPath(*SaveFolder.Snapshot());
  return FolderTextsEqual(FullFolderPath(FolderPartOf(fullPath)), saveFolder);
}

// Copies source into the current save folder under the first free name.
bool CopyToFreeName(const WideText& source, const DestinationName& name, Text& written) {
  if (source.empty()) return false;
  return SaveToFreeName(
      name, [&](const wchar_t* destination) { return ExtractionCopy(source.c_str(), destination); }, written);
}

}  // namespace

void DetectionClassSwitchesSet(ClassSwitches* switches) { defaultSwitches.store(switches); }
ClassSwitches* DetectionSwitches() { return defaultSwitches.load(); }

void HandleNewFile(std::string_view fullPath, std::wstring_view exactPath) {
  ClassSwitches* switches = DetectionSwitches();
  if (switches == nullptr) return;  // no class can be selected yet
  HandleNewFile(fullPath, exactPath, *switches);
}

void HandleNewFile(std::string_view fullPath, std::wstring_view exactPath, ClassSwitches& switches) {
  CriticalSectionHold hold(DetectionLockHandle());

  const Classification classification = ClassifyPath(fullPath, switches);
  if (classification.extensionClass == ExtensionClass::None) return;
  if (LiesInSaveFolder(fullPath)) return;

  const DetectionTexts& texts = DetectionTextsOf(classification.extensionClass);
  const DestinationName name = DestinationNameOf(ToText(NowDateTime()), classification);

  if (!SavePromptConfirmed(texts, fullPath)) return;

  // The exact path reaches names that the code page cannot spell.
  const WideText source = exactPath.empty() ? AnsiToWide(fullPath) : WideText(exactPath);
  Text written;
  if (CopyToFreeName(source, name, written)) {
    SavedShow(texts, std::string_view(written));
    return;
  }

  if (ExtractionCopiesCancelled()) return;  // the program is ending
  // The browser may still hold the file open: one more try a second later.
  PumpedWait(kRetryDelayMilliseconds, 0);
  if (CopyToFreeName(source, name, written)) return;
  SaveFailedShow(texts);
}
