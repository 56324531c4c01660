// The one header through which the client reaches its platform.
//
// On Windows it brings the real Windows, COM and C runtime declarations.  On
// POSIX it brings this project's own stand-ins for the few of them that the
// client uses: the COM types and activation calls, the two code-page
// conversions, opening a file by a UTF-16 name, and replacing a file whole.
// Everything the client needs beyond the C and C++ standard libraries comes
// through here, and nothing platform-specific lives outside src/platform.
#ifndef SIGNCTL_PLATFORM_PLATFORM_H
#define SIGNCTL_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <stdio.h>
#else
#include "posix_com.h"
#include "posix_codepage.h"
#include "posix_files.h"
#endif

#ifndef SIGNCTL_ENOTREG
// errno value that no open on this platform sets; see posix_files.h.
#define SIGNCTL_ENOTREG 4096
#endif

// The program's entry point, as the platform calls it: the argument count,
// the arguments as UTF-16 texts (the program's name first) and the
// environment.  Returns the run's 32-bit exit status.
extern "C" int wmain(int argc, OLECHAR** argv, OLECHAR** envp);

// Writes n bytes to standard output as the console text stream does: every
// line feed goes out as carriage return and line feed.  Returns 0 when all of
// them were handed to the stream, -1 when the stream reported an error.
int ConsoleWrite(const char* bytes, size_t n);

// Sets standard output up once, before the first print: unbuffered on a
// terminal, fully buffered when redirected.
void ConsoleStart(void);

// Until EndAbortGuard, a call of abort() anywhere in the process (a control
// module that gives up while it is being loaded or created) ends the run
// with the zero-terminated message (narrow text, written to standard output
// as ConsoleWrite would, with nothing else pending there) and the exit status
// status, instead of by the signal.  The message is copied.
void BeginAbortGuard(const char* message, int status);
void EndAbortGuard(void);

// Creates a new, empty file with a name of its own in the current folder,
// readable and writable by the owner as a newly created file would be, and
// opens it for writing in binary mode.  On success returns the stream and
// stores the file's narrow name (zero-terminated) in nameOut, which holds cap
// bytes; the caller closes the stream and removes or renames the file.  On
// failure returns null with errno set, and nothing is left on disk.
FILE* OpenTemporaryBeside(char* nameOut, size_t cap);

// Forces what was written through stream to the disk.  Returns 0, or an
// errno value when the system reports a failure.
int FlushToDisk(FILE* stream);

// Puts the file named from over the file named to in one step: afterwards to
// names either its old content or from's whole content, never a mixture.
// Returns 0, or an errno value with from left in place.
int ReplaceFileWhole(const char* from, const char* to);

#endif
