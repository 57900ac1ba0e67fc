// The application's entry routine: globals, on-exit routine, start window,
// message loop.  Returns when the last window has gone.
#pragma once

void ApplicationRun();
