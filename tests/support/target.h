// Where the end-to-end tests run the real program: a build of it for one
// platform, with the scripted control registered for it.  What differs by
// platform (the code page, how many bits of the exit status a parent sees,
// the system's error texts, how names reach the program) is asked of the
// target, so that one table of cases serves every platform.
#ifndef SIGNCTL_TESTS_SUPPORT_TARGET_H
#define SIGNCTL_TESTS_SUPPORT_TARGET_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct RunResult {
    std::string out;     // every byte the program wrote to standard output
    std::string err;     // every byte it wrote to standard error
    int64_t status = 0;  // the exit status as the target's parent sees it
    bool exited = false; // false when the program died or could not start
};

class Target {
  public:
    virtual ~Target() = default;

    // A short name for test output.
    virtual std::string Name() const = 0;

    // Registers the scripted control for runs in work (a fresh empty folder
    // that Run uses as its current folder and may keep its own state under).
    virtual void RegisterControl(const std::string& work) = 0;

    // Runs the program in work with args (bytes, after the program's name),
    // the scripted control reading scriptPath and logging to logPath.
    virtual RunResult Run(const std::string& work, const std::vector<std::string>& args,
                          const std::string& scriptPath, const std::string& logPath) = 0;

    // The exit status a parent sees for the run's 32-bit status.
    virtual int64_t VisibleStatus(int32_t status) const = 0;

    // The system ANSI code page's conversions, as the program makes them.
    virtual std::u16string AnsiToWide(const std::string& bytes) const = 0;
    virtual std::string WideToAnsi(const std::u16string& text) const = 0;

    // The system's text for an errno value, as the program prints it.
    virtual std::string ErrorText(int error) const = 0;

    // Whether a file name that isn't valid UTF-8 reaches the program intact.
    virtual bool PassesByteNames() const = 0;

    // Whether this target can make a FIFO or a directory stand where the
    // tests ask for one.
    virtual bool HasPosixFiles() const = 0;
};

// The targets the end-to-end tests run against: the native build, and the
// others the environment asks for (see tests/README.md).
std::vector<std::shared_ptr<Target>> TestTargets();

// The native build on this POSIX machine.
std::shared_ptr<Target> MakeNativeTarget();

#endif
