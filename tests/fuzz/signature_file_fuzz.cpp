// Reading a signature file of arbitrary bytes.  Each input is the whole
// content of one scratch file, which ReadFileAsWide then reads.
//
// Holds: the read succeeds and gives the file's bytes up to the first zero
// byte, each as the unit of the same value, and nothing more.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/signature_file.h"

namespace {

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// The scratch file, made once per process and removed when it ends.
struct Scratch {
    std::string path;
    char16_t* wideName = nullptr;
    int fd = -1;
    Scratch() {
        const char* base = std::getenv("TMPDIR");
        path = std::string(base != nullptr ? base : "/tmp") + "/signctl-fuzz-XXXXXX";
        fd = mkstemp(&path[0]);
        Check(fd >= 0, "the scratch file can be made");
        wideName = Utf16FromBytes(path.c_str());
    }
    ~Scratch() {
        close(fd);
        unlink(path.c_str());
        std::free(wideName);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    Check(ftruncate(scratch.fd, 0) == 0, "the scratch file can be emptied");
    Check(pwrite(scratch.fd, data, size, 0) == static_cast<ssize_t>(size),
          "the scratch file can be written");
    OLECHAR* text = reinterpret_cast<OLECHAR*>(1);
    const int result = ReadFileAsWide(scratch.wideName, &text);
    Check(result == 0 && text != nullptr, "any bytes under 2 GiB are read");
    const char* bytes = reinterpret_cast<const char*>(data);
    const size_t n = strnlen(bytes, size);
    for (size_t i = 0; i < n; ++i)
        Check(text[i] == static_cast<unsigned char>(bytes[i]), "byte b is unit b");
    Check(text[n] == 0, "the text ends at the first zero byte, or the file's end");
    std::free(text);
    return 0;
}
