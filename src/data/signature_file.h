// The signature file: the signature text's narrow form, byte for byte, with
// nothing before or after it.
#ifndef SIGNCTL_DATA_SIGNATURE_FILE_H
#define SIGNCTL_DATA_SIGNATURE_FILE_H

#include "platform/platform.h"

// The file that sign mode writes, in the current folder.
#define SIGNATURE_FILE_NAME "TCERT_RSA.tmp"
#define SIGNATURE_FILE_WIDE_NAME OLESTR("TCERT_RSA.tmp")

// Stores the narrow form of signature (see WideToAnsi) as the whole content
// of SIGNATURE_FILE_NAME, created if missing.  The content is written to a
// new file beside it and put in its place only once complete and on disk, so
// the file always holds either its earlier content or the whole new one.
// Returns 0; or, with SIGNATURE_FILE_NAME as it was and nothing else left
// behind, ENOMEM or the errno value of the open, write, close or rename that
// failed.
int WriteSignatureFile(const OLECHAR* signature);

// Reads the signature text held in the file named name (UTF-16): its bytes
// up to the first zero byte (all of them when there is none), converted from
// the system ANSI code page to UTF-16.  A file that returns fewer bytes than
// its size gives the bytes read.  On success stores a new zero-terminated
// text in *text, which the caller frees with free(), and returns 0.
// Otherwise *text is null and the result is the errno value of a file that
// can't be opened, sized or read (SIGNCTL_ENOTREG for one that isn't a
// regular file), DATA_E_TOO_LARGE for one of 2 GiB or more, or ENOMEM.
int ReadFileAsWide(const OLECHAR* name, OLECHAR** text);

#endif
