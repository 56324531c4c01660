// The POSIX entry point: arguments become UTF-16 and the run is wmain's.
#include "platform.h"
#include "posix_process.h"

#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    std::vector<OLECHAR*> wideArgs(static_cast<size_t>(argc) + 1, nullptr);
    for (int i = 0; i < argc; ++i) {
        wideArgs[i] = Utf16FromBytes(argv[i]);
        if (wideArgs[i] == nullptr)
            return 255;
    }
    // The program reads no environment: it is handed an empty one.
    OLECHAR* noEnvironment[] = {nullptr};
    int status = wmain(argc, wideArgs.data(), noEnvironment);
    for (OLECHAR* arg : wideArgs)
        std::free(arg);
    return PosixExitStatus(status);
}
