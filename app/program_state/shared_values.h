// Process-wide texts that the window thread replaces while the detection
// step reads them.  Readers take the value current when they need it.
#pragma once

#include "runtime/core/snapshot_cell.h"
#include "runtime/core/text.h"

// The text of the watched-folder box, taken at each start of a watch.  The
// watcher does not read it: each session keeps the folder it was opened on.
extern SnapshotCell<Text> WatchedFolder;
// The folder that receives copies (the current folder at start, then the
// folder picked in the directory chooser).
extern SnapshotCell<Text> SaveFolder;
