#include "app/shared_values.h"

SnapshotCell<Text> WatchedFolder;
SnapshotCell<Text> SaveFolder;
