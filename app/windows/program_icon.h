// The program's icon file, embedded in the executable, as raw bytes (the
// notification-area icon is decoded from icon-file data).
#pragma once

#include "runtime/core/text.h"

ByteArray ProgramIconFile();
