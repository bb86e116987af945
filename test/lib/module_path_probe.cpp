// Prints the executable path that the launcher computes for itself, so tests can start it
// under different names and from different directories.
#include <iostream>
#include <stdexcept>

#include "SysInfo.h"

int main() {
    try {
        std::cout << SysInfo::getProcessModulePath() << std::endl;
        return 0;
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return 1;
    }
}
