/* The floor of a launch: open the library, look JLI_Launch up and call it.
 * Usage: floor LIBRARY ARG0 ARG1 ... (the arguments the runtime is to receive). */
#include <dlfcn.h>
#include <stdio.h>

typedef int (*JliLaunch)(int, char**, int, const char**, int, const char**, const char*,
                         const char*, const char*, const char*, int, int, int, int);

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: floor LIBRARY ARG0 [ARG...]\n");
        return 1;
    }
    void* lib = dlopen(argv[1], RTLD_LAZY);
    if (!lib) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    JliLaunch launch = (JliLaunch)dlsym(lib, "JLI_Launch");
    if (!launch) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    return launch(argc - 2, argv + 2, 0, NULL, 0, NULL, "", "", "java", "java", 0, 0, 0, 0) != 0;
}
