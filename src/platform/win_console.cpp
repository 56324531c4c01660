// Standard output on Windows: the C runtime's text-mode stream, which writes
// every line feed as carriage return and line feed itself.
#include "platform.h"

#include <fcntl.h>
#include <io.h>

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
