// The system code-page conversions on POSIX.  The system ANSI code page here
// is ISO-8859-1, whatever the locale: byte b is U+00bb and back, so no byte
// is ever lost or merged with another.
#ifndef SIGNCTL_PLATFORM_POSIX_CODEPAGE_H
#define SIGNCTL_PLATFORM_POSIX_CODEPAGE_H

#include "posix_com.h"

#define CP_ACP 0u
#define WC_COMPOSITECHECK 0x200u

// Converts source (sourceLength bytes, or -1 for a zero-terminated text with
// its terminator) to UTF-16 in dest, which holds destCapacity code units.
// With destCapacity 0 nothing is written and the number of code units
// needed is returned.  Returns the number of code units written, or 0 when
// the code page isn't CP_ACP, an argument is invalid or dest is too small.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        WCHAR* dest, int destCapacity);

// Converts source (sourceLength code units, or -1 for a zero-terminated
// text with its terminator) to ISO-8859-1 in dest, which holds destCapacity
// bytes.  With WC_COMPOSITECHECK a letter followed by a combining mark
// becomes the one precomposed character where ISO-8859-1 has it.  Every code
// unit that ISO-8859-1 can't hold, each half of a surrogate pair included,
// becomes defaultChar's first byte ("?" when defaultChar is null), and
// *usedDefault (when given) tells whether that happened.  With destCapacity
// 0 the number of bytes needed is returned.  Returns the number of bytes
// written, or 0 when the code page isn't CP_ACP, an argument is invalid or
// dest is too small.
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* source, int sourceLength,
                        char* dest, int destCapacity, const char* defaultChar, BOOL* usedDefault);

#endif
