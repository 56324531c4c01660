// Running a program as a child and collecting what it did.
#ifndef SIGNCTL_TESTS_TOKEN_SUPPORT_PROCESS_H
#define SIGNCTL_TESTS_TOKEN_SUPPORT_PROCESS_H

#include <string>
#include <vector>

struct ProcessResult {
    std::string out;     // everything the child wrote to standard output
    std::string err;     // everything it wrote to standard error
    int status = -1;     // its exit status, when exited
    bool exited = false; // false when it was killed or couldn't start
};

// Runs argv[0] (searched in PATH) with the arguments argv in folder cwd,
// with the environment of this process changed by env ("NAME=VALUE" sets,
// "NAME" alone removes), standard input empty, and waits for it.  Output is
// collected through files in cwd named .out and .err, removed afterwards.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& cwd);

// Runs a helper program as RunProcess does and fails the current test, with
// its output, unless it exits with 0.  Returns whether it did.
bool RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& cwd);

#endif
