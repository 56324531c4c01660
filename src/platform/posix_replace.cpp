// Replacing a file whole on POSIX: a new file beside it, then rename(2).
#include "platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

FILE* OpenTemporaryBeside(char* nameOut, size_t cap) {
    static const char kTemplate[] = ".signctl-XXXXXX";
    if (cap < sizeof kTemplate) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    std::memcpy(nameOut, kTemplate, sizeof kTemplate);
    int fd = mkstemp(nameOut);
    if (fd < 0)
        return nullptr;
    // mkstemp makes the file private; give it the mode a newly created file
    // gets, so the result looks as if it had been written in place.
    mode_t mask = umask(0);
    umask(mask);
    FILE* stream = nullptr;
    if (fchmod(fd, 0666 & ~mask) == 0)
        stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        int saved = errno;
        close(fd);
        unlink(nameOut);
        errno = saved;
    }
    return stream;
}

int FlushToDisk(FILE* stream) {
    if (std::fflush(stream) != 0)
        return errno;
    if (fsync(fileno(stream)) != 0)
        return errno;
    return 0;
}

int ReplaceFileWhole(const char* from, const char* to) {
    if (std::rename(from, to) != 0)
        return errno;
    return 0;
}
