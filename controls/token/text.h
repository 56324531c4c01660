// The conversions between the client's UTF-16 texts and the bytes the
// control works with.
#ifndef SIGNCTL_CONTROLS_TOKEN_TEXT_H
#define SIGNCTL_CONTROLS_TOKEN_TEXT_H

#include <string>

#include "platform/platform.h"

// Stores the UTF-8 encoding of the zero-terminated UTF-16 text in out and
// returns true; returns false (out unspecified) when text holds a surrogate
// without its pair.  text must not be null.
bool Utf8FromUtf16(const OLECHAR* text, std::string& out);

// The UTF-16 form of the ASCII text ascii, each byte as one code unit.  The
// texts the control hands out (token URIs, base64) are ASCII.
std::u16string Utf16FromAscii(const std::string& ascii);

#endif
