#include <windows.h>

#include "app/application.h"
#include "runtime/core/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RuntimeStart();
  ApplicationRun();
  ProgramEnd(0);
}
