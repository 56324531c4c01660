// How a run's 32-bit exit status reaches a POSIX parent.
#ifndef SIGNCTL_PLATFORM_POSIX_PROCESS_H
#define SIGNCTL_PLATFORM_POSIX_PROCESS_H

// The 8-bit exit status for the run's status: its low byte (-1 gives 255),
// except that a failing status whose low byte is zero, which would reach the
// parent as success, gives 254.
int PosixExitStatus(int status);

#endif
