#include "app/program_state/shared_values.h"

SnapshotCell<Text> WatchedFolder;
SnapshotCell<Text> SaveFolder;
