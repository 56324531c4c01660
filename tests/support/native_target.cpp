// The native POSIX build, run through pipes.

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "support/expected.h"
#include "support/program_run.h"
#include "support/target.h"

namespace {

const char kClsid[] = "{589F6929-9B41-4844-86FF-F61F0B35617C}";

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
        ProgramRun run;
        run.wrapper = argv;
        run.work = work;
        run.args = args;
        run.env = {"XDG_CONFIG_HOME=" + work + "/.config",
                   "HOME=" + work,
                   "SIGNCTL_SCRIPT=" + scriptPath,
                   "SIGNCTL_LOG=" + logPath,
                   "PATH=/usr/bin:/bin",
                   "LANG=C.UTF-8"};
        if (const char* asan = std::getenv("ASAN_OPTIONS"))
            run.env.push_back(std::string("ASAN_OPTIONS=") + asan);
        ProgramResult ran = RunProgram(run);
        RunResult result = ran;
        // A run that hangs is one that never ended.
        result.exited = ran.exited && !ran.hung;
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

    std::u16string AnsiToWide(const std::string& bytes) const override { return Latin1(bytes); }

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
