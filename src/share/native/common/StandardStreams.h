#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

#include <ostream>

// std::cout and std::cerr, set up on first use. Including <iostream> would set them up, and
// the locale machinery behind them, before main at every launch, although a launch that
// succeeds without debug output never writes to them.
std::ostream& standardOutput();
std::ostream& standardError();

#endif // STANDARDSTREAMS_H
