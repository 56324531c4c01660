// The SHA-1 digest of a data file.
#ifndef SIGNCTL_DATA_FILE_DIGEST_H
#define SIGNCTL_DATA_FILE_DIGEST_H

#include "platform/platform.h"

// Size of the buffer that receives a digest and is then read as a narrow
// text: the 20 digest bytes, and zeros after them.
#define DIGEST_BUFFER_SIZE 260
// Bytes of the data file read at a time.
#define DIGEST_READ_SIZE 10240

// Reads the file named name (UTF-16) from start to end and stores its 20-byte
// SHA-1 digest at the start of digestBuffer, which holds at least 20 bytes.
// Returns 0; or, leaving digestBuffer untouched, EINVAL for a null argument,
// the errno value of a file that can't be opened or read to its end
// (SIGNCTL_ENOTREG for one that isn't a regular file), ENOMEM.
int DigestFile(const OLECHAR* name, unsigned char* digestBuffer);

#endif
