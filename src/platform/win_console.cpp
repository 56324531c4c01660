// Standard output on Windows: the C runtime's text-mode stream, which writes
// every line feed as carriage return and line feed itself.
#include "platform.h"

#include <fcntl.h>
#include <io.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>

void ConsoleStart(void) {
    // The bytes must reach the stream as they are but for the line ends.
    _setmode(_fileno(stdout), _O_TEXT);
    // A console (or another character device) shows each print at once;
    // a file or a pipe gets the run's output in large writes.
    if (_isatty(_fileno(stdout)))
        setvbuf(stdout, nullptr, _IONBF, 0);
    else
        setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
}

int ConsoleWrite(const char* bytes, size_t n) {
    if (n > 0 && fwrite(bytes, 1, n, stdout) != n)
        return -1;
    return ferror(stdout) ? -1 : 0;
}

namespace {

// The guard's message, copied before any abort can come.
char guardMessage[512];
int guardStatus = 0;
void(__cdecl* previousAbortHandler)(int) = SIG_DFL;

extern "C" void __cdecl OnAbort(int) {
    // The descriptor is in text mode: the runtime writes the line ends.
    _write(_fileno(stdout), guardMessage, static_cast<unsigned>(strlen(guardMessage)));
    _exit(guardStatus);
}

} // namespace

void BeginAbortGuard(const char* message, int status) {
    strncpy(guardMessage, message, sizeof guardMessage - 1);
    guardMessage[sizeof guardMessage - 1] = '\0';
    guardStatus = status;
    previousAbortHandler = signal(SIGABRT, OnAbort);
}

void EndAbortGuard(void) {
    signal(SIGABRT, previousAbortHandler);
}
