#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

#include <ostream>

// std::cout and std::cerr, set up on first use: including <iostream> would set them up, and the
// locale machinery behind them, before main at every launch.

// Sets the standard streams up; cheap after the first call.
void setUpStandardStreams();

// std::cerr, set up.
std::ostream& standardError();

// std::cout for a writer that calls setUpStandardStreams() before it writes.
std::ostream& standardOutputForLater();

#endif // STANDARDSTREAMS_H
