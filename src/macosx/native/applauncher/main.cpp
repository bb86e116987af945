#include "MacLauncher.h"

// Default visibility: the runtime's launch library finds main by dlsym and may enter it again.
__attribute__((visibility("default"))) int main(int argc, char* argv[]) {
    return MacLauncher::main(argc, argv);
}
