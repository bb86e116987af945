#ifndef STANDARDSTREAMS_H
#define STANDARDSTREAMS_H

#include <ostream>

// Set up on first use: <iostream> would set them and their locale machinery up before main.
// Sets the standard streams up; cheap after the first call.
void setUpStandardStreams();

// std::cerr, set up.
std::ostream& standardError();

// std::cout for a writer that calls setUpStandardStreams() before it writes.
std::ostream& standardOutputForLater();

#endif // STANDARDSTREAMS_H
