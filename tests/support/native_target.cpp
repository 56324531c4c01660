// The native POSIX build, run through pipes.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "support/target.h"

namespace {

const char kClsid[] = "{589F6929-9B41-4844-86FF-F61F0B35617C}";

// Reads both pipes to their end without letting either fill up.
void Drain(int outFd, int errFd, RunResult& result) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll failed");
        }
        for (int i = 0; i < 2; ++i) {
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
}

class NativeTarget : public Target {
  public:
    std::string Name() const override { return "native"; }

    void RegisterControl(const std::string& work) override {
        const std::string folder = work + "/.config/signctl/inproc";
        std::string command = "mkdir -p '" + folder + "'";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("can't make " + folder);
        std::ofstream(folder + "/" + kClsid) << SIGNCTL_SCRIPTED_MODULE << "\n";
    }

    RunResult Run(const std::string& work, const std::vector<std::string>& args,
                  const std::string& scriptPath, const std::string& logPath) override {
        const char* valgrind = std::getenv("SIGNCTL_E2E_VALGRIND");
        const std::string valgrindLog = work + "/.valgrind.log";
        std::vector<std::string> argv;
        if (valgrind != nullptr && valgrind[0] == '1') {
            argv = {"valgrind", "-q", "--error-exitcode=97", "--leak-check=full",
                    // A loaded module's bookkeeping stays reachable by design.
                    "--show-leak-kinds=definite,indirect,possible",
                    "--errors-for-leak-kinds=definite,indirect,possible",
                    "--log-file=" + valgrindLog};
        }
        argv.push_back(SIGNCTL_PROGRAM);
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + work + "/.config",
                                        "HOME=" + work,
                                        "SIGNCTL_SCRIPT=" + scriptPath,
                                        "SIGNCTL_LOG=" + logPath,
                                        "PATH=/usr/bin:/bin",
                                        "LANG=C.UTF-8"};
        if (const char* asan = std::getenv("ASAN_OPTIONS"))
            env.push_back(std::string("ASAN_OPTIONS=") + asan);

        std::vector<char*> cargv, cenv;
        for (std::string& a : argv)
            cargv.push_back(&a[0]);
        cargv.push_back(nullptr);
        for (std::string& e : env)
            cenv.push_back(&e[0]);
        cenv.push_back(nullptr);

        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        pid_t pid = fork();
        if (pid == 0) {
            int nullIn = open("/dev/null", O_RDONLY);
            if (nullIn < 0 || dup2(nullIn, 0) < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0 ||
                chdir(work.c_str()) != 0)
                _exit(126);
            execvpe(cargv[0], cargv.data(), cenv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        RunResult result;
        Drain(out[0], err[0], result);
        int wstatus = 0;
        while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
        }
        result.exited = WIFEXITED(wstatus);
        result.status = result.exited ? WEXITSTATUS(wstatus) : -1;
        if (valgrind != nullptr && valgrind[0] == '1') {
            std::ifstream log(valgrindLog);
            std::string report((std::istreambuf_iterator<char>(log)), {});
            // Valgrind's findings count as output on stderr: a clean run has none.
            result.err += report;
        }
        return result;
    }

    int64_t VisibleStatus(int32_t status) const override {
        if (status != 0 && (status & 0xFF) == 0)
            return 254;
        return status & 0xFF;
    }

    std::u16string AnsiToWide(const std::string& bytes) const override {
        std::u16string text;
        for (unsigned char b : bytes)
            text.push_back(b);
        return text;
    }

    std::string WideToAnsi(const std::u16string& text) const override {
        // ISO-8859-1 with the composite check; the few marks the tests use.
        std::string bytes;
        for (size_t i = 0; i < text.size(); ++i) {
            if (i + 1 < text.size() && text[i] == u'e' && text[i + 1] == 0x0301) {
                bytes.push_back(static_cast<char>(0xE9));
                ++i;
            } else {
                bytes.push_back(text[i] <= 0xFF ? static_cast<char>(text[i]) : '?');
            }
        }
        return bytes;
    }

    std::string ErrorText(int error) const override { return std::strerror(error); }
    bool PassesByteNames() const override { return true; }
    bool HasPosixFiles() const override { return true; }
};

} // namespace

std::shared_ptr<Target> MakeNativeTarget() {
    return std::make_shared<NativeTarget>();
}
