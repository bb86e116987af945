#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

#include <ostream>

// Sets std::cout and std::cerr up on first use, not before main as <iostream> would; cheap after.
void setUpStandardStreams();

// std::cerr, set up.
std::ostream& standardError();

// std::cout for a writer that calls setUpStandardStreams() before it writes.
std::ostream& standardOutputForLater();

#endif // STANDARDSTREAMS_H
