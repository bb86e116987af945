// Any bytes as the launch a trial start reads from its pipe: refused, or read into a request
// that is written back as the same bytes.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "RuntimeTrial.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    RuntimeTrial::Request request;
    if (RuntimeTrial::decode(input, request) && RuntimeTrial::encode(request) != input) {
        // Only a count with leading zeros reads as another text of the same request.
        RuntimeTrial::Request again;
        if (!RuntimeTrial::decode(RuntimeTrial::encode(request), again) ||
            RuntimeTrial::encode(again) != RuntimeTrial::encode(request)) {
            std::cerr << "trial request reader invariant broken" << std::endl;
            std::abort();
        }
    }
    return 0;
}
