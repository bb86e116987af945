#ifndef HOST_MACH_O_DYLD_H
#define HOST_MACH_O_DYLD_H

// The executable-path query of the macOS loader, supplied on other hosts by a unit of our own.

#include <stdint.h>

// The links in a row that Linux follows when it starts a program (40, where glibc's MAXSYMLINKS
// says 20); macOS has no such definition, as its MAXSYMLINKS (32) is the kernel's.
#define HOST_EXEC_MAXSYMLINKS 40

#ifdef __cplusplus
extern "C" {
#endif

// Copies the path the executable was started with, NUL-terminated, into buf and returns 0;
// when *bufsize is too small, stores the size needed in *bufsize and returns -1.
int _NSGetExecutablePath(char* buf, uint32_t* bufsize);

#ifdef __cplusplus
}
#endif

#endif // HOST_MACH_O_DYLD_H
