// The detection step.  The watcher's one hand-off thread calls it for one
// file at a time, and so may any other thread; the detection lock keeps the
// steps strictly one after another, from classification to the last
// message, whoever calls, while the window thread goes on.
#include "app/detection/detection.h"

#include <windows.h>

#include <atomic>
#include <mutex>

#include "app/detection/detection_paths.h"
#include "app/detection/detection_texts.h"
#include "app/detection/extraction_copy.h"
#include "app/shared_values.h"
#include "runtime/commands/event_pump.h"
#include "runtime/commands/message_box.h"
#include "runtime/commands/value_commands.h"
#include "runtime/core/critical_sections.h"

namespace {

CriticalSectionHandle DetectionLock = 0;
std::once_flag detectionLockOnce;
std::atomic<ClassSwitches*> defaultSwitches{nullptr};

// Callers on several threads may arrive together at the very first file:
// exactly one of them creates the lock.
CriticalSectionHandle DetectionLockHandle() {
  std::call_once(detectionLockOnce, [] { DetectionLock = CriticalSectionCreate(); });
  return DetectionLock;
}

// Highest "(n)" tried before a copy is reported as failed.
constexpr int kLastFreeNameNumber = 9999;
constexpr std::int32_t kRetryDelayMilliseconds = 1000;

WideText AnsiToWide(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  WideText wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

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

// Copies source into the current save folder under the first free name, so
// that no earlier copy is ever replaced.  On success written holds the path.
bool CopyToFreeName(const WideText& source, const DestinationName& name, Text& written) {
  if (source.empty()) return false;
  const Text saveFolder = *SaveFolder.Snapshot();
  for (int number = 1; number <= kLastFreeNameNumber; ++number) {
    Text destination = DestinationPath(saveFolder, name, number);
    const WideText wideDestination = AnsiToWide(destination);
    if (wideDestination.empty()) return false;
    if (ExtractionCopy(source.c_str(), wideDestination.c_str())) {
      written = std::move(destination);
      return true;
    }
    // A failed copy removed what it wrote, so the retry takes the same name.
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

}  // namespace

void DetectionClassSwitchesSet(ClassSwitches* switches) { defaultSwitches.store(switches); }

void HandleNewFile(std::string_view fullPath, std::wstring_view exactPath) {
  ClassSwitches* switches = defaultSwitches.load();
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

  Text prompt = MakeText(texts.promptBefore);
  prompt += fullPath;
  prompt += texts.promptAfter;
  if (MessageBoxShow(std::string_view(prompt), kPromptStyle, texts.promptCaption) != kMessageBoxOk) return;

  // The exact path reaches names that the code page cannot spell.
  const WideText source = exactPath.empty() ? AnsiToWide(fullPath) : WideText(exactPath);
  Text written;
  if (CopyToFreeName(source, name, written)) {
    Text success = MakeText(texts.successText);
    success += written;
    MessageBoxShow(std::string_view(success), kSuccessStyle, texts.successCaption);
    return;
  }

  if (ExtractionCopiesCancelled()) return;  // the program is ending
  // The browser may still hold the file open: one more try a second later.
  PumpedWait(kRetryDelayMilliseconds, 0);
  if (CopyToFreeName(source, name, written)) return;
  MessageBoxShow(texts.failureText, kFailureStyle, texts.failureCaption);
}
