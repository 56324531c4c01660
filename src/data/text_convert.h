// Conversions between narrow text in the system ANSI code page and UTF-16.
#ifndef SIGNCTL_DATA_TEXT_CONVERT_H
#define SIGNCTL_DATA_TEXT_CONVERT_H

#include "platform/platform.h"

// Converts the zero-terminated narrow text (read in the system ANSI code
// page) to UTF-16.  Returns a new zero-terminated text that the caller frees
// with free(), or null when memory can't be had or the conversion fails.
OLECHAR* AnsiToWide(const char* text);

// Converts the zero-terminated UTF-16 text to narrow text in the system ANSI
// code page, a letter followed by a combining mark becoming the code page's
// precomposed character where it has one (a code page that refuses this,
// UTF-8, takes the text as it is), and a character it can't hold its
// default character.  The result is sized by the conversion itself, so the
// whole narrow form always fits, however many bytes a character takes.
// Returns a new zero-terminated text that the caller frees with free(), or
// null when memory can't be had or the conversion fails.
char* WideToAnsi(const OLECHAR* text);

#endif
