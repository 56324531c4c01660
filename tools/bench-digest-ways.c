/* Takes a file's SHA-1 one way, in one process, so that tools/bench can
 * show where a digest's time goes beside the whole signctl run.  Prints the
 * digest in hexadecimal (so a way that reads wrong shows) and exits 0, or
 * says what failed on standard error and exits 1.
 *
 *   bench-digest-ways copy FILE       read in 120 KiB reads, no hashing
 *                                     (prints the XOR of the first bytes)
 *   bench-digest-ways read FILE       read in 120 KiB reads, SHA-1 over the
 *                                     10,240-byte pieces of each read, no
 *                                     standard I/O: signctl's loop, less
 *                                     the copy out of the stream's buffer
 *   bench-digest-ways map FILE        the file mapped, SHA-1 over its
 *                                     10,240-byte pieces in place, no copy
 */
#define _GNU_SOURCE
#define OPENSSL_API_COMPAT 10101
#include <fcntl.h>
#include <openssl/sha.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#define PIECE 10240
#define READ_SIZE (12 * PIECE)

static int Fail(const char* what, const char* name) {
    perror(name);
    fprintf(stderr, "bench-digest-ways: %s failed\n", what);
    return 1;
}

int main(int argc, char** argv) {
    static unsigned char buffer[READ_SIZE];
    unsigned char digest[SHA_DIGEST_LENGTH];
    unsigned char mix = 0;
    SHA_CTX context;
    ssize_t got;
    int fd;

    if (argc != 3 || (strcmp(argv[1], "copy") != 0 && strcmp(argv[1], "read") != 0 &&
                      strcmp(argv[1], "map") != 0)) {
        fprintf(stderr, "usage: %s copy|read|map FILE\n", argv[0]);
        return 2;
    }
    fd = open(argv[2], O_RDONLY);
    if (fd < 0)
        return Fail("open", argv[2]);
    SHA1_Init(&context);
    if (strcmp(argv[1], "map") == 0) {
        struct stat st;
        const unsigned char* map;
        if (fstat(fd, &st) != 0)
            return Fail("fstat", argv[2]);
        if (st.st_size > 0) {
            map = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (map == MAP_FAILED)
                return Fail("mmap", argv[2]);
            for (off_t at = 0; at < st.st_size; at += PIECE)
                SHA1_Update(&context, map + at,
                            st.st_size - at < PIECE ? (size_t)(st.st_size - at) : PIECE);
        }
    } else {
        while ((got = read(fd, buffer, sizeof buffer)) > 0) {
            if (argv[1][0] == 'c') {
                mix ^= buffer[0];
                continue;
            }
            for (ssize_t at = 0; at < got; at += PIECE)
                SHA1_Update(&context, buffer + at, got - at < PIECE ? (size_t)(got - at) : PIECE);
        }
        if (got < 0)
            return Fail("read", argv[2]);
    }
    SHA1_Final(digest, &context);
    if (argv[1][0] == 'c') {
        printf("%02x\n", mix);
        return 0;
    }
    for (size_t i = 0; i < sizeof digest; i++)
        printf("%02x", digest[i]);
    printf("\n");
    return 0;
}
