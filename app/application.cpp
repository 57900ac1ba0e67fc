#include "app/application.h"

void ApplicationRun() {
  // The start window and the message loop are added with the window engine.
}
