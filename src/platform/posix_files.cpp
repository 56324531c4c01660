#include "posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Length of the valid UTF-8 sequence at s (with n bytes left) and its code
// point, or 0 when the bytes there don't start one.
size_t DecodeUtf8(const unsigned char* s, size_t n, uint32_t* cp) {
    unsigned char b = s[0];
    size_t len;
    uint32_t min;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        len = 2, *cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, *cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, *cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (n < len)
        return 0;
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        *cp = (*cp << 6) | (s[i] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    if (*cp < min || (*cp >= 0xD800 && *cp <= 0xDFFF) || *cp > 0x10FFFF)
        return 0;
    return len;
}

bool IsWriteMode(const char* mode) {
    return std::strpbrk(mode, "wa+") != nullptr;
}

} // namespace

char16_t* Utf16FromBytes(const char* text) {
    const size_t n = std::strlen(text);
    // Never more code units than bytes.
    char16_t* out = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
    if (out == nullptr)
        return nullptr;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t o = 0;
    for (size_t i = 0; i < n;) {
        uint32_t cp;
        size_t len = DecodeUtf8(s + i, n - i, &cp);
        if (len == 0) {
            out[o++] = static_cast<char16_t>(0xDC00 + s[i]);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out[o++] = static_cast<char16_t>(cp);
        }
        i += len;
    }
    out[o] = 0;
    return out;
}

char* BytesFromUtf16(const char16_t* text) {
    size_t m = 0;
    while (text[m] != 0)
        ++m;
    // Three bytes per code unit at most (a pair takes four for two units).
    char* out = static_cast<char*>(std::malloc(3 * m + 1));
    if (out == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    size_t o = 0;
    for (size_t i = 0; i < m; ++i) {
        uint32_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < m && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
            out[o++] = static_cast<char>(0xF0 | (cp >> 18));
            out[o++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out[o++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out[o++] = static_cast<char>(0x80 | (cp & 0x3F));
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out[o++] = static_cast<char>(u - 0xDC00);
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            std::free(out);
            errno = EILSEQ;
            return nullptr;
        } else if (u < 0x80) {
            out[o++] = static_cast<char>(u);
        } else if (u < 0x800) {
            out[o++] = static_cast<char>(0xC0 | (u >> 6));
            out[o++] = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out[o++] = static_cast<char>(0xE0 | (u >> 12));
            out[o++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out[o++] = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    out[o] = '\0';
    return out;
}

FILE* _wfopen(const char16_t* name, const char16_t* mode) {
    if (name == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    char narrowMode[8];
    size_t k = 0;
    for (; mode[k] != 0; ++k) {
        if (k + 1 == sizeof narrowMode || mode[k] > 0x7F) {
            errno = EINVAL;
            return nullptr;
        }
        narrowMode[k] = static_cast<char>(mode[k]);
    }
    narrowMode[k] = '\0';
    char* path = BytesFromUtf16(name);
    if (path == nullptr)
        return nullptr;
    FILE* stream = nullptr;
    if (IsWriteMode(narrowMode)) {
        stream = std::fopen(path, narrowMode);
    } else {
        // Opened without waiting, so that a FIFO with no writer can't block
        // the run; only then is the kind of file known.
        int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat st;
        int err = 0;
        if (fd < 0)
            err = errno;
        else if (fstat(fd, &st) != 0)
            err = errno;
        else if (S_ISDIR(st.st_mode))
            err = EISDIR;
        else if (!S_ISREG(st.st_mode))
            err = SIGNCTL_ENOTREG;
        else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
            err = errno;
        else if ((stream = fdopen(fd, narrowMode)) == nullptr)
            err = errno;
        if (stream == nullptr) {
            if (fd >= 0)
                close(fd);
            errno = err;
        }
    }
    int saved = errno;
    std::free(path);
    errno = saved;
    return stream;
}
