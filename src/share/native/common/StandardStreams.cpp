#include "StandardStreams.h"

#if defined(__GLIBCXX__)
// libstdc++ defines the streams in the library: declared here, <iostream>'s initializer stays out.
namespace std {
extern ostream cout;
extern ostream cerr;
} // namespace std
#else
// Other C++ runtimes set their streams up when the shared library loads, whatever we include.
#include <iostream>
#endif

void setUpStandardStreams() {
    static const std::ios_base::Init init;
}

std::ostream& standardError() {
    setUpStandardStreams();
    return std::cerr;
}

std::ostream& standardOutputForLater() {
    return std::cout;
}
