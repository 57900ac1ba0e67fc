// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDR_WINDOW_TEMPLATES 101   // RCDATA: the compiled window template block
#define IDI_PROGRAM_ICON 102       // the program icon (48, 32 and 16 pixel images)
#define IDR_PROGRAM_ICON_FILE 103  // RCDATA: the same icon file as raw bytes, for the tray icon
#define IDB_FOLDER_IMAGES 1031     // 64x15 bitmap: the directory box's four folder images
