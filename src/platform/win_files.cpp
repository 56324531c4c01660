// Replacing a file whole on Windows: a new file beside it, then
// MoveFileExA, with the system's error codes given as errno values.
#include "platform.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>

namespace {

// The errno value closest to a system error code.
int ErrnoFromSystemError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    default:
        return EIO;
    }
}

// Attempts at a name of our own before giving up: another process would
// have to take every one of them first.
const int kNameAttempts = 100;

} // namespace

FILE* OpenTemporaryBeside(char* nameOut, size_t cap) {
    static unsigned counter = 0;
    const unsigned long process = GetCurrentProcessId();
    int error = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const unsigned tick = GetTickCount() + counter++;
        const int n = snprintf(nameOut, cap, ".signctl-%08lx%08x", process, tick);
        if (n < 0 || static_cast<size_t>(n) >= cap) {
            error = ENAMETOOLONG;
            break;
        }
        HANDLE handle = CreateFileA(nameOut, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD failure = GetLastError();
            if (failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS)
                continue;
            error = ErrnoFromSystemError(failure);
            break;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
        if (fd < 0) {
            error = errno;
            CloseHandle(handle);
            DeleteFileA(nameOut);
            break;
        }
        FILE* stream = _fdopen(fd, "wb");
        if (stream == nullptr) {
            error = errno;
            _close(fd);
            DeleteFileA(nameOut);
            break;
        }
        return stream;
    }
    errno = error;
    return nullptr;
}

int FlushToDisk(FILE* stream) {
    errno = 0;
    if (fflush(stream) != 0)
        return errno != 0 ? errno : EIO;
    if (_commit(_fileno(stream)) != 0)
        return errno != 0 ? errno : EIO;
    return 0;
}

int ReplaceFileWhole(const char* from, const char* to) {
    if (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ErrnoFromSystemError(GetLastError());
    return 0;
}
