// The drive box (type 25) and the directory box (type 26) as control kinds
// of the window engine.
#pragma once

// Registers both kinds; safe to call again.  Call before loading a window
// that holds either control.
void FolderControlKindsRegister();
