#include "app/program_state/watch_rules.h"

#include "runtime/commands/text_commands.h"

bool SaveFolderConflicts(std::string_view saveFolder, std::string_view watchedFolder) {
  // Shortcut: a save folder shorter than the watched folder cannot start with it.
  if (static_cast<std::int64_t>(TextLength(saveFolder)) + 1 < TextLength(watchedFolder)) return false;
  const Text save = TextToLower(saveFolder);
  const Text watched = TextToLower(watchedFolder);
  return save.compare(0, watched.size(), watched) == 0 && save.size() >= watched.size();
}

bool ReadingTimeSufficient(std::int64_t shownAt, std::int32_t now) {
  const double elapsed = static_cast<double>(now) - static_cast<double>(shownAt);
  return elapsed - kMinimumReadingMilliseconds > 0.0000001;
}
