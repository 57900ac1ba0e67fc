// The lowest layer of the watcher: starting its threads, the system time it
// stamps reads with, and whether it runs under Wine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

// System time in the file system's unit (100 ns since 1601).
std::uint64_t SystemTimeNow();
bool RunningUnderWine();

// Starts a thread through the declared CreateThread; returns its handle or null.
HANDLE WatchThreadStart(LPTHREAD_START_ROUTINE body, void* parameter);

// Starts a thread that takes over `parameter`: the thread's body receives the
// raw pointer and adopts it with ThreadParameterAdopt.  A thread that never
// ran took nothing over, so the parameter is then freed here.
template <class Parameter>
HANDLE WatchThreadStartWith(LPTHREAD_START_ROUTINE body, std::unique_ptr<Parameter> parameter) {
  HANDLE thread = WatchThreadStart(body, parameter.get());
  if (thread != nullptr) parameter.release();
  return thread;
}

template <class Parameter>
std::unique_ptr<Parameter> ThreadParameterAdopt(LPVOID parameter) {
  return std::unique_ptr<Parameter>(static_cast<Parameter*>(parameter));
}
