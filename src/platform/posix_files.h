// File names on POSIX.  Names arrive as bytes and travel through the client
// as UTF-16: valid UTF-8 becomes UTF-16 (characters beyond the BMP as
// surrogate pairs), and each byte of an invalid sequence becomes the lone
// surrogate U+DC80+byte.  Opening a file reverses exactly that, so every name
// a shell can pass opens the file it names.
#ifndef SIGNCTL_PLATFORM_POSIX_FILES_H
#define SIGNCTL_PLATFORM_POSIX_FILES_H

#include <cstddef>
#include <cstdio>

#include "posix_com.h"

// errno value of an open for reading that was refused because the file is
// neither a regular file nor a directory (a FIFO, a socket, a device): such a
// file could block the run or never end.
#define SIGNCTL_ENOTREG 4096

// Converts the zero-terminated bytes text to UTF-16 as described above.
// Returns a new zero-terminated text that the caller frees with free(), or
// null when memory can't be had.
char16_t* Utf16FromBytes(const char* text);

// Converts the zero-terminated UTF-16 text back to bytes, exactly undoing
// Utf16FromBytes.  Returns a new zero-terminated text that the caller frees
// with free(), or null with errno set: EILSEQ for a surrogate that no byte
// string gives (and a zero byte can't be named), ENOMEM.
char* BytesFromUtf16(const char16_t* text);

// Opens the file named by the UTF-16 name with the C mode given in UTF-16
// ("rb", "wb+", ...).  A file opened for reading only must be a regular
// file (a directory fails with EISDIR, anything else with SIGNCTL_ENOTREG),
// and the open never waits for a FIFO's writer.  Returns the stream, or null
// with errno set.
FILE* _wfopen(const char16_t* name, const char16_t* mode);

#endif
