// Standard output as a text stream on POSIX, as the Windows C runtime gives
// it: line feeds go out as carriage return and line feed.
#include "platform.h"

#include <unistd.h>

#include <cstring>

void ConsoleStart(void) {
    if (isatty(STDOUT_FILENO))
        std::setvbuf(stdout, nullptr, _IONBF, 0);
    else
        std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
}

int ConsoleWrite(const char* bytes, size_t n) {
    size_t start = 0;
    while (start < n) {
        const void* lf = std::memchr(bytes + start, '\n', n - start);
        size_t end = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - bytes) : n;
        if (end > start && std::fwrite(bytes + start, 1, end - start, stdout) != end - start)
            return -1;
        if (lf == nullptr)
            break;
        if (std::fwrite("\r\n", 1, 2, stdout) != 2)
            return -1;
        start = end + 1;
    }
    return std::ferror(stdout) ? -1 : 0;
}
