// The copy of a confirmed element into the save folder: block by block, so
// that the end of the program can stop it and remove what it wrote instead
// of leaving a cut-off file that looks like a saved element.
#pragma once

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
