#include "app/program_state/cache_location.h"

#include "runtime/commands/file_commands.h"

Text DefaultWatchedFolder() { return EnvironmentText("homedrive") + EnvironmentText("homepath") + "\\"; }
