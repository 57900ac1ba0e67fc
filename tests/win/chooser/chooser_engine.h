// Starts the window engine once for the chooser tests, with the program's
// templates and a handler table that binds the chooser's handlers only.
#pragma once

void ChooserTestEngineStart();
