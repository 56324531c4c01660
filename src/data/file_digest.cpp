#include "file_digest.h"

#include <openssl/sha.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

// The standard I/O buffer beneath the pieces: twelve of them, thirty pages.
// Fewer, larger reads cost far less than a read per piece, and a whole
// number of pieces keeps every piece inside one buffer's worth.
#define DIGEST_IO_BUFFER_SIZE (12 * DIGEST_READ_SIZE)

int DigestFile(const OLECHAR* name, unsigned char* digestBuffer) {
    FILE* file = nullptr;
    char* ioBuffer = nullptr;
    unsigned char* piece = nullptr;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA_CTX context;
    size_t got;
    int result = EINVAL;

    if (name == nullptr || digestBuffer == nullptr)
        goto out;
    file = _wfopen(name, OLESTR("rb"));
    if (file == nullptr) {
        result = errno;
        goto out;
    }
    ioBuffer = static_cast<char*>(std::malloc(DIGEST_IO_BUFFER_SIZE));
    piece = static_cast<unsigned char*>(std::malloc(DIGEST_READ_SIZE));
    if (ioBuffer == nullptr || piece == nullptr) {
        result = ENOMEM;
        goto out;
    }
    // Our own buffer, as the C library would otherwise pick one by the file
    // system's block size.  A stream that refuses it keeps its own: only
    // speed is lost.
    (void)std::setvbuf(file, ioBuffer, _IOFBF, DIGEST_IO_BUFFER_SIZE);
    SHA1_Init(&context);
    errno = 0;
    while ((got = std::fread(piece, 1, DIGEST_READ_SIZE, file)) > 0)
        SHA1_Update(&context, piece, got);
    // A read that stops early is a failure, not the end of the file.
    if (std::ferror(file)) {
        result = errno != 0 ? errno : EIO;
        goto out;
    }
    SHA1_Final(digest, &context);
    std::memcpy(digestBuffer, digest, sizeof digest);
    result = 0;
out:
    if (file != nullptr)
        std::fclose(file);
    // Only once the stream that used it is closed.
    std::free(ioBuffer);
    std::free(piece);
    return result;
}
