/* Times commands alternately (A B A B ..., or A B C A B C ...) so that a noisy, shared machine
 * disturbs them alike.
 * Usage: abab ROUNDS -- COMMAND_A... [-- COMMAND_B... [-- COMMAND_C...]]   (up to 8 commands)
 * Prints per command the median wall time, the median processor time (user and system, which a
 * loaded machine disturbs less) and the peak resident memory, and for every command after the
 * first the median of the per-round ratios to A. Standard output and error of the commands
 * are discarded. */
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

/* Runs argv once; returns wall seconds, stores peak RSS (KiB) and processor seconds; exits on
 * failure to run. */
static double run(char** argv, long* maxrss, double* cpu) {
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
    *cpu =
        ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    return (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
}

int main(int argc, char** argv) {
    enum { MAX = 8 };
    if (argc < 4 || strcmp(argv[2], "--") != 0) {
        fprintf(stderr, "usage: abab ROUNDS -- COMMAND_A... [-- COMMAND_B...]...\n");
        return 2;
    }
    int rounds = atoi(argv[1]);
    if (rounds < 1) {
        fprintf(stderr, "abab: ROUNDS must be at least 1\n");
        return 2;
    }
    char** cmd[MAX] = {argv + 3};
    int n = 1;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            if (n == MAX) {
                fprintf(stderr, "abab: at most %d commands\n", MAX);
                return 2;
            }
            argv[i] = NULL;
            cmd[n++] = argv + i + 1;
        }
    }
    double* t[MAX];
    double* c[MAX];
    double* ratio[MAX];
    double* cpuRatio[MAX];
    long rss[MAX] = {0};
    for (int k = 0; k < n; ++k) {
        t[k] = calloc(rounds, sizeof(double));
        c[k] = calloc(rounds, sizeof(double));
        ratio[k] = calloc(rounds, sizeof(double));
        cpuRatio[k] = calloc(rounds, sizeof(double));
        long r; /* one warm-up run each */
        double cpu;
        run(cmd[k], &r, &cpu);
    }
    for (int i = 0; i < rounds; ++i) {
        for (int k = 0; k < n; ++k) {
            long r;
            t[k][i] = run(cmd[k], &r, &c[k][i]);
            if (r > rss[k])
                rss[k] = r;
        }
        for (int k = 1; k < n; ++k) {
            ratio[k][i] = t[k][i] / t[0][i];
            cpuRatio[k][i] = c[k][i] / c[0][i];
        }
    }
    for (int k = 0; k < n; ++k) {
        printf("%c: median %.3f ms, processor %.3f ms, peak RSS %ld KiB  (%s)\n", 'A' + k,
               median(t[k], rounds) * 1e3, median(c[k], rounds) * 1e3, rss[k], cmd[k][0]);
    }
    for (int k = 1; k < n; ++k)
        printf("median ratio %c/A: %.3f (processor %.3f) over %d rounds\n", 'A' + k,
               median(ratio[k], rounds), median(cpuRatio[k], rounds), rounds);
    return 0;
}
