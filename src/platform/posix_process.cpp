// The end of a run on POSIX: its exit status, and the guard against a
// module's abort() while the control is being created.
#include "posix_process.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform.h"

int PosixExitStatus(int status) {
    if (status != 0 && (status & 0xFF) == 0)
        return 254;
    return status & 0xFF;
}

namespace {

// The guard's message in its console form, made before any abort can come,
// so that the handler only writes and exits.
char guardMessage[512];
size_t guardLength = 0;
int guardStatus = 0;
struct sigaction previousAbortAction;

extern "C" void OnAbort(int) {
    size_t done = 0;
    while (done < guardLength) {
        ssize_t n = write(STDOUT_FILENO, guardMessage + done, guardLength - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    _exit(guardStatus);
}

} // namespace

void BeginAbortGuard(const char* message, int status) {
    guardLength = 0;
    for (const char* p = message; *p != '\0' && guardLength + 2 < sizeof guardMessage; ++p) {
        if (*p == '\n')
            guardMessage[guardLength++] = '\r';
        guardMessage[guardLength++] = *p;
    }
    guardStatus = PosixExitStatus(status);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnAbort;
    sigemptyset(&action.sa_mask);
    sigaction(SIGABRT, &action, &previousAbortAction);
}

void EndAbortGuard(void) {
    sigaction(SIGABRT, &previousAbortAction, nullptr);
}
