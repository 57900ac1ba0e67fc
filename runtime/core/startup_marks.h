// Where start-up goes, for the start-up benchmark: when the environment
// variable EE_STARTUP_MARKS names a file, each mark appends its name and the
// performance counter (one system-wide clock, so the benchmark can compare
// it with its own reading before it started the process).  Without the
// variable a mark costs one environment lookup.
#pragma once

void StartupMark(const char* name);
