#include "support/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace {

long long NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Reads both pipes to their end, or until the deadline, and closes them;
// returns false when the deadline came first.
bool Drain(int outFd, int errFd, ProgramResult& result, long long deadlineMs) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        long long left = deadlineMs - NowMs();
        if (left <= 0) {
            for (pollfd& p : fds) {
                if (p.fd >= 0)
                    close(p.fd);
            }
            return false;
        }
        int ready = poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            throw std::runtime_error("poll failed");
        for (int i = 0; ready > 0 && i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

} // namespace

std::vector<std::string> ProgramEnvironment(const std::string& work) {
    std::vector<std::string> env = {
        "XDG_CONFIG_HOME=" + work + "/.config", "HOME=" + work,
        "SIGNCTL_SCRIPT=" + work + "/.script",  "SIGNCTL_LOG=" + work + "/.log",
        "PATH=/usr/sbin:/usr/bin:/sbin:/bin",   "LANG=C.UTF-8"};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    }
    return env;
}

ProgramResult RunProgram(const ProgramRun& run) {
    std::vector<std::string> argv = run.wrapper;
    argv.push_back(run.program);
    argv.insert(argv.end(), run.args.begin(), run.args.end());
    std::vector<std::string> env = run.env;
    std::vector<char*> cargv, cenv;
    for (std::string& a : argv)
        cargv.push_back(&a[0]);
    cargv.push_back(nullptr);
    for (std::string& e : env)
        cenv.push_back(&e[0]);
    cenv.push_back(nullptr);

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        throw std::runtime_error("pipe failed");
    }
    const long long deadline = NowMs() + 1000LL * run.deadlineSeconds;
    pid_t pid = fork();
    if (pid == 0) {
        // Its own process group, so that a run that hangs is killed with
        // whatever it started.
        setpgid(0, 0);
        int nullIn = open("/dev/null", O_RDONLY);
        if (nullIn < 0 || dup2(nullIn, 0) < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0 ||
            chdir(run.work.c_str()) != 0)
            _exit(126);
        execvpe(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        throw std::runtime_error("fork failed");
    }
    ProgramResult result;
    if (!Drain(out[0], err[0], result, deadline)) {
        result.hung = true;
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    result.exited = WIFEXITED(wstatus);
    result.status = result.exited ? WEXITSTATUS(wstatus) : -1;
    result.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    return result;
}

std::vector<std::string> AsUnprivilegedUser() {
    if (geteuid() != 0)
        return {};
    return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
}
