// The copy of a confirmed element into the save folder: block by block, so
// that the end of the program can stop it and remove what it wrote instead
// of leaving a cut-off file that looks like a saved element.
#pragma once

#include <windows.h>

// Where the bytes of a copy come from, read in order.
class ExtractionSource {
 public:
  // Up to `size` bytes; `read` is 0 at the end.  False on a failure, with
  // the reason set for GetLastError.
  virtual bool Read(void* buffer, DWORD size, DWORD& read) = 0;

 protected:
  ~ExtractionSource() = default;
};

// Writes what the source yields into a new file at destination, with the
// same rules as ExtractionCopy (below); the new file gets `lastWrite` when given.
bool ExtractionWrite(ExtractionSource& source, const wchar_t* destination,
                     const FILETIME* lastWrite = nullptr);

// Copies source into a new file at destination.  Fails with
// ERROR_FILE_EXISTS when that name is taken (nothing is touched then).  Any
// other failure, a cancel included (ERROR_REQUEST_ABORTED), removes the
// destination it made; GetLastError tells why.
bool ExtractionCopy(const wchar_t* source, const wchar_t* destination);

// For program end: cancels the copies under way, waits (a few seconds at
// most) until they have removed what they wrote, and lets no later copy
// start.
void ExtractionCopiesCancel();
bool ExtractionCopiesCancelled();
