#include "file_digest.h"

#include <openssl/sha.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

int DigestFile(const OLECHAR* name, unsigned char* digestBuffer) {
    FILE* file = nullptr;
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
    // The pieces are the only buffer: each one is a single read straight
    // into it, whatever block size the file system reports.
    std::setvbuf(file, nullptr, _IONBF, 0);
    piece = static_cast<unsigned char*>(std::malloc(DIGEST_READ_SIZE));
    if (piece == nullptr) {
        result = ENOMEM;
        goto out;
    }
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
    std::free(piece);
    return result;
}
