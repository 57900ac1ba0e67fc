#include <windows.h>

#include "app/application.h"
#include "app/command_line/command_line_run.h"
#include "runtime/core/program.h"
#include "runtime/core/startup_marks.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Switches make a scan without any window; the runtime's start would move
  // the current folder that relative paths on the command line refer to.
  if (CommandLineGiven()) ExitProcess(static_cast<UINT>(CommandLineRun()));
  StartupMark("entry");
  RuntimeStart();
  StartupMark("runtime");
  ApplicationRun();
  ProgramEnd(0);
}
