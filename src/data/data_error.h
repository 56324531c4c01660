// Result codes of the data operations: 0 for success, an errno value for a
// failure the system reported, or one of the codes below.
#ifndef SIGNCTL_DATA_DATA_ERROR_H
#define SIGNCTL_DATA_DATA_ERROR_H

#include "platform/platform.h"

// The file is 2 GiB or larger: its size doesn't fit a signed 32-bit count.
#define DATA_E_TOO_LARGE 4097

// A short English text for code, for the console: the system's own text for
// an errno value.  The text is static; it is never null.
const char* DataErrorText(int code);

#endif
