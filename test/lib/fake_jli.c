/*
 * A stand-in for the runtime's launch library. It records every JLI_Launch call so that tests
 * can compare what the launcher handed over with what they expected.
 *
 * FAKEJLI_RECORD  file that each call appends one record to:
 *                   call
 *                   argc=<n>
 *                   arg=<value>                 (one line per argument, in order)
 *                   argv_terminated=<1|0>       (1 when argv[argc] is NULL)
 *                   params=<jargc>,<jargv null?1:0>,<appclassc>,<appclassv null?1:0>,
 *                          <fullversion>,<dotversion>,<pname>,<lname>,<javaargs>,
 *                          <cpwildcard>,<javaw>,<ergo>          (one line)
 *                   env:<name>=<value> | env:<name> unset     (per name in FAKEJLI_ENV)
 *                   end
 *                 Values are written byte for byte, except '\' as "\\" and a newline as "\n".
 *                 A null text is written as "(null)".
 *                 An argv that is not aligned for char* is refused as a runtime that indexes it
 *                 would fault on it: one line on stderr, nothing recorded, result 95.
 * FAKEJLI_ENV     names of variables to record, separated by ','.
 * FAKEJLI_RESULT  the call's result (atoi), 0 when unset.
 * FAKEJLI_REENTER "1": like the macOS runtime, the first call enters the executable's main again
 *                 on a new thread with the arguments it received (copied into an aligned
 *                 array), waits for it and ends the process with main's result. Later calls
 *                 (the library stays loaded) only record and return FAKEJLI_RESULT.
 * FAKEJLI_SLEEP   seconds each call waits before it returns, as a runtime that does not end.
 * FAKEJLI_LOADED  file that the library's constructor appends the loading process's pid to: a
 *                 bundle's code that runs as soon as the library is loaded.
 */
#include <dlfcn.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void writeEscaped(FILE* f, const char* s) {
    if (!s) {
        fputs("(null)", f);
        return;
    }
    for (; *s; ++s) {
        if (*s == '\\') {
            fputs("\\\\", f);
        } else if (*s == '\n') {
            fputs("\\n", f);
        } else {
            fputc(*s, f);
        }
    }
}

/* Entries are read byte-wise, so that even a misaligned array can be reported. */
static char* argAt(char** argv, int i) {
    char* value;
    memcpy(&value, (const char*)argv + (size_t)i * sizeof value, sizeof value);
    return value;
}

static void writeEnv(FILE* f, const char* names) {
    const char* p = names;
    while (p && *p) {
        const char* comma = strchr(p, ',');
        const size_t len = comma ? (size_t)(comma - p) : strlen(p);
        if (len > 0) {
            char* name = (char*)malloc(len + 1);
            if (name) {
                memcpy(name, p, len);
                name[len] = '\0';
                const char* value = getenv(name);
                fputs("env:", f);
                writeEscaped(f, name);
                if (value) {
                    fputc('=', f);
                    writeEscaped(f, value);
                    fputc('\n', f);
                } else {
                    fputs(" unset\n", f);
                }
                free(name);
            }
        }
        p = comma ? comma + 1 : NULL;
    }
}

static void writeRecord(const char* path, int argc, char** argv, int jargc, const char** jargv,
                        int appclassc, const char** appclassv, const char* fullversion,
                        const char* dotversion, const char* pname, const char* lname, int javaargs,
                        int cpwildcard, int javaw, int ergo) {
    FILE* f = fopen(path, "a");
    int i;
    if (!f) {
        return;
    }
    fprintf(f, "call\nargc=%d\n", argc);
    for (i = 0; argv && i < argc; ++i) {
        fputs("arg=", f);
        writeEscaped(f, argAt(argv, i));
        fputc('\n', f);
    }
    fprintf(f, "argv_terminated=%d\n", argv && argc >= 0 && argAt(argv, argc) == NULL ? 1 : 0);
    fprintf(f, "params=%d,%d,%d,%d,", jargc, jargv == NULL ? 1 : 0, appclassc,
            appclassv == NULL ? 1 : 0);
    writeEscaped(f, fullversion);
    fputc(',', f);
    writeEscaped(f, dotversion);
    fputc(',', f);
    writeEscaped(f, pname);
    fputc(',', f);
    writeEscaped(f, lname);
    fprintf(f, ",%d,%d,%d,%d\n", javaargs, cpwildcard, javaw, ergo);
    writeEnv(f, getenv("FAKEJLI_ENV"));
    fputs("end\n", f);
    fclose(f);
}

typedef int (*MainFunction)(int, char**);

struct MainCall {
    MainFunction main;
    int argc;
    char** argv;
    int result;
};

static void* runMain(void* arg) {
    struct MainCall* call = (struct MainCall*)arg;
    call->result = call->main(call->argc, call->argv);
    return NULL;
}

static int entered = 0;

/* Enters main again as the runtime does; does not return. */
static void reenterMain(int argc, char** argv) {
    struct MainCall call;
    pthread_t thread;
    void* symbol;
    int i;

    call.argc = argc;
    call.argv = (char**)calloc((size_t)argc + 1, sizeof(char*));
    if (!call.argv) {
        fputs("fakejli: out of memory\n", stderr);
        exit(99);
    }
    for (i = 0; i < argc; ++i) {
        call.argv[i] = argAt(argv, i);
    }
    symbol = dlsym(RTLD_DEFAULT, "main");
    if (!symbol) {
        fprintf(stderr, "fakejli: no main: %s\n", dlerror());
        exit(98);
    }
    memcpy(&call.main, &symbol, sizeof call.main);
    call.result = 97;
    if (pthread_create(&thread, NULL, runMain, &call) != 0 || pthread_join(thread, NULL) != 0) {
        fputs("fakejli: cannot run main on a thread of its own\n", stderr);
        exit(96);
    }
    free(call.argv);
    exit(call.result);
}

__attribute__((constructor)) static void loaded(void) {
    const char* path = getenv("FAKEJLI_LOADED");
    FILE* f = path && *path ? fopen(path, "a") : NULL;
    if (f) {
        fprintf(f, "%d\n", (int)getpid());
        fclose(f);
    }
}

int JLI_Launch(int argc, char** argv, int jargc, const char** jargv, int appclassc,
               const char** appclassv, const char* fullversion, const char* dotversion,
               const char* pname, const char* lname, int javaargs, int cpwildcard, int javaw,
               int ergo) {
    const char* record = getenv("FAKEJLI_RECORD");
    const char* result = getenv("FAKEJLI_RESULT");
    if ((uintptr_t)argv % _Alignof(char*) != 0) {
        fprintf(stderr, "fakejli: argv at %p is not aligned for char*\n", (void*)argv);
        return 95;
    }
    if (record && *record) {
        writeRecord(record, argc, argv, jargc, jargv, appclassc, appclassv, fullversion, dotversion,
                    pname, lname, javaargs, cpwildcard, javaw, ergo);
    }
    if (getenv("FAKEJLI_SLEEP")) {
        sleep((unsigned)atoi(getenv("FAKEJLI_SLEEP")));
    }
    if (!entered) {
        const char* reenter = getenv("FAKEJLI_REENTER");
        entered = 1;
        if (reenter && strcmp(reenter, "1") == 0) {
            reenterMain(argc, argv);
        }
    }
    return result ? atoi(result) : 0;
}
