// What only the Linux side knows about a program that Wine runs: which Unix
// process it is and whether any of its threads is running.  Wine reports
// another process's processor times as 0, so the driver reads /proc through
// Wine's Z: drive instead.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/driver/poll.h"

namespace e2e {

// The Unix process ids whose command line starts with `executable` (a
// Windows path as the program was started with; compared without regard to
// case).
std::vector<unsigned long> UnixProcessesOf(const std::wstring& executable);

// The scheduler states of a Unix process's threads ('R' running or waiting
// for a processor, 'S' asleep, ...); empty when the process is gone.
std::string ThreadStates(unsigned long unixPid);

// Waits until none of the given processes has had a thread running or
// ready to run for `quiet` on end: they have done all they were given and
// wait for more.  False when that did not happen within `timeout`.
bool WaitAllAsleep(const std::vector<unsigned long>& unixPids, Milliseconds quiet,
                   Milliseconds timeout = Milliseconds(60000));

}  // namespace e2e
