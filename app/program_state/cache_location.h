// The folder watched by default: the user's home folder, which holds the
// browser cache wherever this Windows version keeps it.
#pragma once

#include "runtime/core/text.h"

// HOMEDRIVE + HOMEPATH + "\" as the environment held them at start; nothing
// is checked or normalised ("\" alone when neither is set).
Text DefaultWatchedFolder();
