// The Windows build under Wine, as targets of the end-to-end tests: with the
// ANSI code pages 1252, 936 and 65001 (UTF-8, which a Windows machine has
// with its "UTF-8 for worldwide language support" setting, and a program
// with the activeCodePage setting of its manifest).
//
// Asked for by SIGNCTL_WINE_BUILD, a folder that holds signctl.exe,
// scripted_control.dll, signctl-launch.exe and signctl-probe.exe (see
// tools/test-wine), with SIGNCTL_WINE_LOCPATH naming a folder that holds a
// zh_CN.UTF-8 locale and SIGNCTL_WINE_TEMPLATE a Wine prefix made by
// wineboot (made there when missing).  Each run gets a fresh prefix in its
// work folder: a copy of the template whose files are hard links but for the
// registry, which the Wine server rewrites in place.  Standard output and
// standard error go to files, since Wine's helper processes hold a pipe open
// for seconds after the program ends; the launcher reports the 32-bit exit
// status.  The code page's conversions and the C runtime's error texts are
// asked of Wine itself, through signctl-probe.exe.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/target.h"
#include "support/work_folder.h"

namespace fs = std::filesystem;

namespace {

// winedbg off, so that a crash ends the run instead of printing a debugger
// session to standard output; no Mono or Gecko installs at boot, and no menu
// entries written under HOME.
const char kDllOverrides[] = "WINEDLLOVERRIDES=winedbg.exe,winemenubuilder.exe=d;mscoree,mshtml=";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The name Windows programs under Wine use for the file at a Linux path.
std::string WinePath(const std::string& path) {
    std::string out = "Z:" + path;
    for (char& c : out) {
        if (c == '/')
            c = '\\';
    }
    return out;
}

// Runs argv (found through env's PATH) in folder cwd with env, standard
// input from /dev/null and standard output and error appended to the files
// outPath and errPath.  Returns the exit status, or -1 when the process
// didn't exit.
int Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& cwd, const std::string& outPath, const std::string& errPath) {
    std::vector<char*> cargv, cenv;
    std::vector<std::string> a = argv, e = env;
    for (std::string& s : a)
        cargv.push_back(&s[0]);
    cargv.push_back(nullptr);
    for (std::string& s : e)
        cenv.push_back(&s[0]);
    cenv.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
            dup2(err, 2) < 0 || chdir(cwd.c_str()) != 0)
            _exit(126);
        execvpe(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs argv and throws with what it printed unless it exits with 0.
void MustRun(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& cwd, const std::string& logPath) {
    if (Spawn(argv, env, cwd, logPath, logPath) != 0)
        throw std::runtime_error(argv[0] + " " + (argv.size() > 1 ? argv[1] : "") + " failed:\n" +
                                 ReadFile(logPath));
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

// The manifest that gives a program the ANSI code page 65001.  Windows
// takes it from a file named after the program with ".manifest" added when
// the program has none built in, and so does Wine.
const char kUtf8Manifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<assembly manifestVersion=\"1.0\" xmlns=\"urn:schemas-microsoft-com:asm.v1\">\n"
    "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
    "    <windowsSettings>\n"
    "      <activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">"
    "UTF-8</activeCodePage>\n"
    "    </windowsSettings>\n"
    "  </application>\n"
    "</assembly>\n";

struct WineSetup {
    std::string build;   // the Windows build's folder
    std::string locpath; // holds the zh_CN.UTF-8 locale
    std::string templ;   // the booted prefix each run copies
};

class WineTarget : public Target {
  public:
    WineTarget(const WineSetup& setup, unsigned codePage) : setup_(setup), codePage_(codePage) {
        char pattern[] = "/tmp/signctl-wine-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        service_ = pattern;
        build_ = setup_.build;
        try {
            if (codePage_ == 65001)
                MakeUtf8Build();
            StartPrefix(service_ + "/.wine", service_);
            CheckCodePage();
        } catch (...) {
            Close();
            throw;
        }
    }

    ~WineTarget() override { Close(); }

    std::string Name() const override { return "wine-" + std::to_string(codePage_); }

    void RegisterControl(const std::string& work) override {
        const std::string prefix = work + "/.wine";
        if (live_.count(prefix) == 0)
            StartPrefix(prefix, work);
        MustRun({"wine", "regsvr32", "/s", WinePath(build_ + "/scripted_control.dll")},
                Environment(prefix, work), work, work + "/.wine-setup.log");
    }

    RunResult Run(const std::string& work, const std::vector<std::string>& args,
                  const std::string& scriptPath, const std::string& logPath) override {
        const std::string prefix = work + "/.wine";
        if (live_.count(prefix) == 0)
            StartPrefix(prefix, work);
        std::vector<std::string> argv = {"wine", build_ + "/signctl-launch.exe",
                                         WinePath(work + "/.status"),
                                         WinePath(build_ + "/signctl.exe")};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = Environment(prefix, work);
        env.push_back("SIGNCTL_SCRIPT=" + WinePath(scriptPath));
        env.push_back("SIGNCTL_LOG=" + WinePath(logPath));
        const int launcher = Spawn(argv, env, work, work + "/.stdout", work + "/.stderr");
        StopPrefix(prefix, work);

        RunResult result;
        result.out = ReadFile(work + "/.stdout");
        result.err = ReadFile(work + "/.stderr");
        const std::string status = ReadFile(work + "/.status");
        char* end = nullptr;
        const unsigned long long code = std::strtoull(status.c_str(), &end, 10);
        result.exited = launcher == 0 && end != status.c_str() && *end == '\n';
        result.status = result.exited ? static_cast<int64_t>(code) : -1;
        if (!result.exited)
            result.err += "[launcher ended with " + std::to_string(launcher) + "]";
        return result;
    }

    int64_t VisibleStatus(int32_t status) const override { return static_cast<uint32_t>(status); }

    std::u16string AnsiToWide(const std::string& bytes) const override {
        std::string arg = "x";
        for (unsigned char b : bytes)
            arg += Hex(b, 2);
        const std::string units = Probe("a2w", arg);
        std::u16string text;
        for (size_t i = 0; i + 4 <= units.size(); i += 4)
            text.push_back(static_cast<char16_t>(std::stoul(units.substr(i, 4), nullptr, 16)));
        return text;
    }

    std::string WideToAnsi(const std::u16string& text) const override {
        std::string arg = "x";
        for (char16_t unit : text)
            arg += Hex(unit, 4);
        const std::string hex = Probe("w2a", arg);
        std::string bytes;
        for (size_t i = 0; i + 2 <= hex.size(); i += 2)
            bytes.push_back(static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        return bytes;
    }

    std::string ErrorText(int error) const override {
        // The C runtime numbers the classic errno values as Linux does; the
        // later ones differ.
        if (error < 1 || error > 34)
            throw std::invalid_argument("no C runtime errno for " + std::to_string(error));
        return Probe("strerror", std::to_string(error));
    }

    bool PassesByteNames() const override { return false; }
    bool HasPosixFiles() const override { return false; }

  private:
    // build_ becomes a folder of the service's with the programs of the
    // Windows build, the program and the probe each with the manifest that
    // makes their code page 65001.
    void MakeUtf8Build() {
        build_ = service_ + "/build";
        fs::create_directory(build_);
        for (const char* name :
             {"signctl.exe", "scripted_control.dll", "signctl-launch.exe", "signctl-probe.exe"})
            fs::copy_file(setup_.build + "/" + name, build_ + "/" + name);
        for (const char* name : {"signctl.exe", "signctl-probe.exe"})
            WriteBytes(build_ + "/" + name + ".manifest", kUtf8Manifest);
    }

    // Ends every server still running and removes the probe's folder.
    void Close() {
        for (const std::string& prefix : std::set<std::string>(live_))
            StopPrefix(prefix, fs::path(prefix).parent_path().string());
        std::error_code ignored;
        fs::remove_all(service_, ignored);
    }

    std::vector<std::string> Environment(const std::string& prefix, const std::string& home) const {
        std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + home,
                                        "WINEPREFIX=" + prefix, "WINEDEBUG=-all", kDllOverrides};
        // C.UTF-8, not C: under C Wine drops the high bit of every argument.
        if (codePage_ == 936) {
            env.push_back("LANG=zh_CN.UTF-8");
            env.push_back("LOCPATH=" + setup_.locpath);
        } else {
            env.push_back("LANG=C.UTF-8");
        }
        return env;
    }

    // Makes prefix a fresh copy of the template and starts its server.
    void StartPrefix(const std::string& prefix, const std::string& home) {
        MustRun({"cp", "-al", setup_.templ, prefix}, Environment(prefix, home), home,
                home + "/.wine-setup.log");
        for (const auto& entry : fs::directory_iterator(setup_.templ)) {
            if (entry.path().extension() != ".reg")
                continue;
            const fs::path copy = fs::path(prefix) / entry.path().filename();
            fs::remove(copy);
            fs::copy_file(entry.path(), copy);
        }
        MustRun({"wineserver", "-p"}, Environment(prefix, home), home, home + "/.wine-setup.log");
        live_.insert(prefix);
    }

    // Ends prefix's server and waits for it, so that nothing writes into
    // the folder once the run is over.
    void StopPrefix(const std::string& prefix, const std::string& home) {
        live_.erase(prefix);
        Spawn({"wineserver", "-k"}, Environment(prefix, home), home, "/dev/null", "/dev/null");
        Spawn({"wineserver", "-w"}, Environment(prefix, home), home, "/dev/null", "/dev/null");
    }

    // signctl-probe.exe's answer to question (with arg, unless empty), its
    // line end removed.
    std::string Probe(const std::string& question, const std::string& arg = "") const {
        std::lock_guard<std::mutex> lock(probeMutex_);
        const std::string key = question + " " + arg;
        auto known = probed_.find(key);
        if (known != probed_.end())
            return known->second;
        const std::string out = service_ + "/.probe.out";
        const std::string err = service_ + "/.probe.err";
        std::remove(out.c_str());
        std::remove(err.c_str());
        std::vector<std::string> argv = {"wine", build_ + "/signctl-probe.exe", question};
        if (!arg.empty())
            argv.push_back(arg);
        if (Spawn(argv, Environment(service_ + "/.wine", service_), service_, out, err) != 0)
            throw std::runtime_error("signctl-probe " + key + " failed: " + ReadFile(err));
        std::string answer = ReadFile(out);
        while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
            answer.pop_back();
        probed_[key] = answer;
        return answer;
    }

    // A locale that Wine can't find gives code page 1252 without a word:
    // make sure this target is what its name says.
    void CheckCodePage() const {
        const std::string acp = Probe("acp");
        if (acp != std::to_string(codePage_))
            throw std::runtime_error(Name() + ": Wine runs with code page " + acp);
        const bool known = codePage_ == 936 ? WideToAnsi(u"\u4e2d") == "\xd6\xd0"
                           : codePage_ == 65001
                               ? WideToAnsi(u"\u4e2d\u00e9") == "\xe4\xb8\xad\xc3\xa9"
                               : WideToAnsi(u"\u20ac\u00e9") == "\x80\xe9";
        if (!known)
            throw std::runtime_error(Name() + ": the probe's conversions are not the code page's");
    }

    WineSetup setup_;
    unsigned codePage_;
    std::string build_;   // where the programs of this target are
    std::string service_; // the probe's own prefix and files
    std::set<std::string> live_;
    mutable std::mutex probeMutex_;
    mutable std::map<std::string, std::string> probed_;
};

std::string RequiredFolder(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || value[0] != '/')
        throw std::runtime_error(std::string(variable) +
                                 " must name a folder (see tools/test-wine)");
    return value;
}

// Boots a prefix at setup.templ unless one is there.  The prefix is booted
// beside it and moved in place, so that tests running at once don't boot
// into the same folder.
void EnsureTemplate(const WineSetup& setup) {
    if (fs::exists(setup.templ + "/system.reg"))
        return;
    const std::string boot = setup.templ + ".boot-" + std::to_string(getpid());
    fs::remove_all(boot);
    fs::create_directories(boot);
    const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + boot,
                                          "WINEPREFIX=" + boot, "WINEDEBUG=-all",
                                          kDllOverrides,        "LANG=C.UTF-8"};
    const std::string log = setup.templ + ".boot-log-" + std::to_string(getpid());
    MustRun({"wineserver", "-p"}, env, "/", log);
    const int booted = Spawn({"wineboot", "-i"}, env, "/", log, log);
    Spawn({"wineserver", "-k"}, env, "/", "/dev/null", "/dev/null");
    Spawn({"wineserver", "-w"}, env, "/", "/dev/null", "/dev/null");
    if (booted != 0)
        throw std::runtime_error("wineboot failed:\n" + ReadFile(log));
    std::remove(log.c_str());
    if (rename(boot.c_str(), setup.templ.c_str()) != 0)
        fs::remove_all(boot);
}

} // namespace

std::vector<std::shared_ptr<Target>> MakeWineTargets() {
    // Made once per test program: booting and checking Wine takes seconds.
    static std::vector<std::shared_ptr<Target>> targets = [] {
        std::vector<std::shared_ptr<Target>> made;
        if (std::getenv("SIGNCTL_WINE_BUILD") == nullptr)
            return made;
        WineSetup setup;
        setup.build = RequiredFolder("SIGNCTL_WINE_BUILD");
        setup.locpath = RequiredFolder("SIGNCTL_WINE_LOCPATH");
        setup.templ = RequiredFolder("SIGNCTL_WINE_TEMPLATE");
        EnsureTemplate(setup);
        made.push_back(std::make_shared<WineTarget>(setup, 1252));
        made.push_back(std::make_shared<WineTarget>(setup, 936));
        made.push_back(std::make_shared<WineTarget>(setup, 65001));
        return made;
    }();
    return targets;
}
