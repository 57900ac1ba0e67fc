#include "app/program_state/settings_file.h"

#include "runtime/commands/file_commands.h"
#include "runtime/commands/ini_commands.h"

namespace {

constexpr std::string_view kSection = "Setting";
constexpr std::string_view kFirstKey = "First";
constexpr std::string_view kNotAcknowledged = "0";
constexpr std::string_view kAcknowledged = "1";

}  // namespace

Text SettingsFilePath() { return CurrentFolder() + "\\setting.ini"; }

Text FirstRunFlagRead() { return IniRead(SettingsFilePath(), kSection, kFirstKey, kNotAcknowledged); }

bool FirstRunPending(std::string_view flag) { return flag == kNotAcknowledged; }

bool FirstRunPending() { return FirstRunPending(FirstRunFlagRead()); }

bool FirstRunAcknowledgedWrite() { return IniWrite(SettingsFilePath(), kSection, kFirstKey, kAcknowledged); }
