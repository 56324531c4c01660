// The text both modes hand the control for a data file.
#ifndef SIGNCTL_DRIVER_DIGEST_TEXT_H
#define SIGNCTL_DRIVER_DIGEST_TEXT_H

#include "platform/platform.h"

// Zeroes digestBuffer (DIGEST_BUFFER_SIZE bytes) and takes the digest of
// dataFile into it.  On failure prints the data file's error line.  Returns
// 0 or the data error code.
int TakeDigest(const OLECHAR* dataFile, unsigned char* digestBuffer);

// The digest text: the buffer's bytes up to the first zero, converted with
// AnsiToWide.  Returns a new text the caller frees with free(), or null
// after printing the out-of-memory line.
OLECHAR* MakeDigestText(const unsigned char* digestBuffer);

#endif
