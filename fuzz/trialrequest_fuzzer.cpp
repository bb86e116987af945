// Any bytes as the launch a trial start reads from its pipe: refused, or read into a request
// that is written back as the same bytes.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "TrialProcess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    TrialProcess::Request request;
    if (TrialProcess::decode(input, request) && TrialProcess::encode(request) != input) {
        // Only a count with leading zeros reads as another text of the same request.
        TrialProcess::Request again;
        if (!TrialProcess::decode(TrialProcess::encode(request), again) ||
            TrialProcess::encode(again) != TrialProcess::encode(request)) {
            std::cerr << "trial request reader invariant broken" << std::endl;
            std::abort();
        }
    }
    return 0;
}
