#include "process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    for (const std::string& change : changes) {
        std::string name = change.substr(0, change.find('='));
        for (auto it = env.begin(); it != env.end();) {
            if (it->compare(0, name.size() + 1, name + "=") == 0)
                it = env.erase(it);
            else
                ++it;
        }
        if (change.find('=') != std::string::npos)
            env.push_back(change);
    }
    return env;
}

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& cwd) {
    ProcessResult result;
    const std::string outPath = cwd + "/.out";
    const std::string errPath = cwd + "/.err";
    std::vector<std::string> envStrings = ChildEnvironment(env);
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args)
        argp.push_back(&a[0]);
    argp.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // PATH is looked up in this process's environment.
        for (char** e = envp.data(); *e != nullptr; ++e) {
            if (std::strncmp(*e, "PATH=", 5) == 0)
                setenv("PATH", *e + 5, 1);
        }
        execvpe(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    if (pid < 0)
        return result;
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    result.exited = WIFEXITED(wstatus);
    result.status = result.exited ? WEXITSTATUS(wstatus) : -1;
    result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return result;
}

bool RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::string& cwd) {
    ProcessResult r = RunProcess(argv, env, cwd);
    std::string command;
    for (const std::string& a : argv)
        command += a + " ";
    EXPECT_TRUE(r.exited && r.status == 0) << command << "exited " << r.status << "\n"
                                           << r.out << r.err;
    return r.exited && r.status == 0;
}
