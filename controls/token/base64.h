// Standard base64 (RFC 4648, with padding), as the signature text carries a
// signature.
#ifndef SIGNCTL_CONTROLS_TOKEN_BASE64_H
#define SIGNCTL_CONTROLS_TOKEN_BASE64_H

#include <string>
#include <vector>

// The base64 text of bytes: one line, padded, no line end.
std::string Base64Encode(const std::vector<unsigned char>& bytes);

// Decodes text, which must be nothing but standard base64: a non-zero
// multiple of four characters of the standard alphabet, '=' only as the
// padding at its end.  Stores the bytes in out and returns true; returns
// false for anything else (whitespace and line ends too).
bool Base64Decode(const std::string& text, std::vector<unsigned char>& out);

#endif
