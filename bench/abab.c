/* Times commands alternately (A B A B ...) so that a noisy, shared machine disturbs both alike.
 * Usage: abab ROUNDS -- COMMAND_A... [-- COMMAND_B...]
 * Prints per command the median wall time and peak resident memory, and with two commands the
 * median of the per-round ratios B/A. Standard output and error of the commands are discarded. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static int cmp(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

static double median(double* v, int n) {
    qsort(v, n, sizeof(double), cmp);
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

/* Runs argv once; returns wall seconds, stores peak RSS (KiB); exits on failure to run. */
static double run(char** argv, long* maxrss) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &fa, NULL, argv, environ) != 0) {
        perror(argv[0]);
        exit(2);
    }
    int status;
    struct rusage ru;
    wait4(pid, &status, 0, &ru);
    clock_gettime(CLOCK_MONOTONIC, &t1);
    posix_spawn_file_actions_destroy(&fa);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
        exit(2);
    }
    *maxrss = ru.ru_maxrss;
    return (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
}

int main(int argc, char** argv) {
    if (argc < 4 || strcmp(argv[2], "--") != 0) {
        fprintf(stderr, "usage: abab ROUNDS -- COMMAND_A... [-- COMMAND_B...]\n");
        return 2;
    }
    int rounds = atoi(argv[1]);
    char** cmd[2] = {argv + 3, NULL};
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i] = NULL;
            cmd[1] = argv + i + 1;
            break;
        }
    }
    int n = cmd[1] ? 2 : 1;
    double* t[2] = {calloc(rounds, sizeof(double)), calloc(rounds, sizeof(double))};
    double* ratio = calloc(rounds, sizeof(double));
    long rss[2] = {0, 0};
    for (int k = 0; k < n; ++k) { /* one warm-up run each */
        long r;
        run(cmd[k], &r);
    }
    for (int i = 0; i < rounds; ++i) {
        for (int k = 0; k < n; ++k) {
            long r;
            t[k][i] = run(cmd[k], &r);
            if (r > rss[k])
                rss[k] = r;
        }
        if (n == 2)
            ratio[i] = t[1][i] / t[0][i];
    }
    for (int k = 0; k < n; ++k) {
        printf("%c: median %.3f ms, peak RSS %ld KiB  (%s)\n", 'A' + k, median(t[k], rounds) * 1e3,
               rss[k], cmd[k][0]);
    }
    if (n == 2)
        printf("median ratio B/A: %.3f over %d rounds\n", median(ratio, rounds), rounds);
    return 0;
}
