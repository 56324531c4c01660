// Running the native program under another command (setpriv, unshare, a
// shell), with an environment of the test's choosing and a deadline, for the
// tests of bad input and faults.  The end-to-end table's runs go through
// Target instead.
#ifndef SIGNCTL_TESTS_SUPPORT_PROGRAM_RUN_H
#define SIGNCTL_TESTS_SUPPORT_PROGRAM_RUN_H

#include <string>
#include <vector>

#include "support/target.h"

struct ProgramRun {
    std::string program = SIGNCTL_PROGRAM; // the native build, or a copy of it
    std::vector<std::string> wrapper;      // run first, with the program and args after it
    std::string work;                      // the current folder
    std::vector<std::string> args;         // after the program's name
    std::vector<std::string> env;          // the whole environment, "NAME=value"
    int deadlineSeconds = 60;              // killed, and counted as hung, after this
};

struct ProgramResult : RunResult {
    int signal = 0;    // the signal that ended the run, or 0
    bool hung = false; // the deadline passed and the run was killed
};

// The environment the scripted control and the program's registration need,
// with everything kept under work: the registration folder, the script and
// the log.  The sanitizers' options are passed on.
std::vector<std::string> ProgramEnvironment(const std::string& work);

// Runs the program as run says, standard input from
// /dev/null, both output streams read to their end.  Throws
// std::runtime_error when the run can't be started.
ProgramResult RunProgram(const ProgramRun& run);

// The wrapper that runs a command as the unprivileged user nobody, without
// supplementary groups: setpriv when the tests run as root, nothing when
// they already run as another user (who can't read what root made private
// either).
std::vector<std::string> AsUnprivilegedUser();

#endif
