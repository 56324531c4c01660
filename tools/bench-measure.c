/* Runs a command a number of times, whole process each time, and prints the
 * median wall time in milliseconds and the median peak resident memory in
 * KiB, separated by a space.  The command's standard output goes to
 * /dev/null.  Exits 1, after saying which run, if any run fails: a figure
 * of a failed run is no figure.
 *
 *   bench-measure RUNS COMMAND [ARG...]
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

static int Compare(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double Median(double* values, int n) {
    qsort(values, (size_t)n, sizeof *values, Compare);
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int main(int argc, char** argv) {
    if (argc < 3 || atoi(argv[1]) < 1) {
        fprintf(stderr, "usage: %s RUNS COMMAND [ARG...]\n", argv[0]);
        return 2;
    }
    const int runs = atoi(argv[1]);
    double* ms = calloc((size_t)runs, sizeof *ms);
    double* kib = calloc((size_t)runs, sizeof *kib);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (int i = 0; i < runs; ++i) {
        struct timespec start, end;
        struct rusage usage;
        int status;
        pid_t pid;
        clock_gettime(CLOCK_MONOTONIC, &start);
        if (posix_spawnp(&pid, argv[2], &actions, NULL, argv + 2, environ) != 0) {
            fprintf(stderr, "%s: can't run %s\n", argv[0], argv[2]);
            return 1;
        }
        if (wait4(pid, &status, 0, &usage) != pid) {
            perror("wait4");
            return 1;
        }
        clock_gettime(CLOCK_MONOTONIC, &end);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fprintf(stderr, "%s: run %d of %s failed (status %d)\n", argv[0], i + 1, argv[2],
                    status);
            return 1;
        }
        ms[i] =
            (double)(end.tv_sec - start.tv_sec) * 1e3 + (double)(end.tv_nsec - start.tv_nsec) / 1e6;
        kib[i] = (double)usage.ru_maxrss;
    }
    printf("%.3f %.0f\n", Median(ms, runs), Median(kib, runs));
    return 0;
}
