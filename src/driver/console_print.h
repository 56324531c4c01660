// The program's two prints to standard output.
#ifndef SIGNCTL_DRIVER_CONSOLE_PRINT_H
#define SIGNCTL_DRIVER_CONSOLE_PRINT_H

#include "platform/platform.h"

// Formats as printf does and writes the resulting bytes unchanged (GBK
// messages stay GBK) to the console stream.  Returns 0, or -1 when the
// stream reported an error.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
int PrintNarrow(const char* format, ...);

// Writes format with each "%s" replaced by text (which may be null when
// format has no "%s") and "%%" by "%": each UTF-16 code unit up to U+00FF
// becomes the byte of that value and any other "?".  Returns 0, or -1 when
// memory can't be had or the stream reported an error.
int PrintWide(const OLECHAR* format, const OLECHAR* text);

// Prints the one line that reports a file that couldn't be read or written:
// wideFormat with the file's name in its "%s", then the reason for error
// (see DataErrorText) and a line end.
void PrintFileError(const OLECHAR* wideFormat, const OLECHAR* name, int error);

#endif
