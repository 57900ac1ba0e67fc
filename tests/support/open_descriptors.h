// The number of descriptors this process holds open, counted on the Linux
// side: Wine reports a handle count of 0, but a handle to a file or a folder
// that the process has used holds an open descriptor, listed in
// /proc/self/fd (seen through Z:).  Wine opens a few of its own on first use
// of a path, so compare counts after one round of the work has been done.
#pragma once

#include <optional>

// Open descriptors of this process; nothing when /proc cannot be read (not
// under Wine).
std::optional<int> OpenDescriptorCount();
