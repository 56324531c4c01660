// Preloaded (LD_PRELOAD) into a run to make one file shrink while the
// program reads it, exactly as another process truncating it at that moment
// would.  SIGNCTL_SHRINK_FILE names the file and SIGNCTL_SHRINK_TO the size
// it is cut to, once, right after the program's SIGNCTL_SHRINK_AFTER-th call
// of ftell or fread on it (1 when unset): after ftell, the program holds a
// size the file no longer has; after a fread, part of it was read.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool IsTheFile(FILE* stream, const char* path) {
    struct stat open, named;
    return fstat(fileno(stream), &open) == 0 && stat(path, &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// Counts a call on stream and cuts the file when its turn has come.
void Called(FILE* stream) {
    static long calls = 0;
    static bool done = false;
    const char* path = std::getenv("SIGNCTL_SHRINK_FILE");
    const char* to = std::getenv("SIGNCTL_SHRINK_TO");
    if (done || path == nullptr || to == nullptr || !IsTheFile(stream, path))
        return;
    const char* after = std::getenv("SIGNCTL_SHRINK_AFTER");
    if (++calls < (after != nullptr ? std::atol(after) : 1))
        return;
    if (truncate(path, std::atol(to)) != 0)
        std::abort();
    done = true;
}

template <typename Fn> Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" __attribute__((visibility("default"))) long ftell(FILE* stream) {
    static auto next = Next<long (*)(FILE*)>("ftell");
    long result = next(stream);
    Called(stream);
    return result;
}

extern "C" __attribute__((visibility("default"))) size_t
fread(void* __restrict buffer, size_t size, size_t count, FILE* __restrict stream) {
    static auto next = Next<size_t (*)(void*, size_t, size_t, FILE*)>("fread");
    size_t result = next(buffer, size, count, stream);
    Called(stream);
    return result;
}
