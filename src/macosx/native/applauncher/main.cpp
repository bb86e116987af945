#include "MacLauncher.h"

// Default visibility whatever the build's default: the runtime's launch library finds main
// through dlsym and may enter it a second time.
__attribute__((visibility("default"))) int main(int argc, char* argv[]) {
    return MacLauncher::main(argc, argv);
}
