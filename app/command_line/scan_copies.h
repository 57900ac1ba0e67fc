// Saving the scan's media into a folder: complete elements and streams
// (joined into one file), and with "partial" the contiguous beginning of
// incomplete ones (a stream's run of segments from its first).  Encrypted
// streams are counted, never saved.  Every copy gets a new name; no file is
// ever replaced.  A name too long for the folder falls back to the time
// name; a copy larger than the folder's free space is not begun.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/command_line/scan_reading.h"

struct CopyCounts {
  int saved = 0;
  int skippedIncomplete = 0;
  int skippedEncrypted = 0;  // streams
  int failed = 0;
};

CopyCounts ScanCopiesSave(const std::vector<ScanFolder>& folders, const std::wstring& saveFolder,
                          bool partial, const std::function<void(const std::wstring&)>& reportFailure,
                          const std::function<void(const std::wstring&)>& reportNoRoom);

// One element or stream of the scanned folders.
struct CopyChoice {
  std::size_t folder = 0;
  bool stream = false;
  std::size_t index = 0;  // in the folder's streams or media
};

// Saves the chosen elements and streams as /copyall does without /partial,
// in the order given; a choice that names nothing is passed over.
CopyCounts ScanCopiesSaveSelected(const std::vector<ScanFolder>& folders, const std::vector<CopyChoice>& chosen,
                                  const std::wstring& saveFolder,
                                  const std::function<void(const std::wstring&)>& reportFailure,
                                  const std::function<void(const std::wstring&)>& reportNoRoom);
