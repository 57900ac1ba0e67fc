// The program started with switches: a scan of the browser caches that
// writes reports and saves copies without opening a window or touching the
// settings file.  Called before the runtime starts (it moves the current
// folder to the program's, and relative paths given here mean the caller's).
#pragma once

// Exit codes of a command-line run.
constexpr int kExitDone = 0;
constexpr int kExitBadArguments = 1;
constexpr int kExitNotWritten = 2;

// True when the program was started with at least one argument.
bool CommandLineGiven();
// Runs the command line; its exit code.
int CommandLineRun();
