// Loads arbitrary bytes as a configuration file and expands it. The only failure allowed is
// the missing-bracket error; anything else (a crash, another error, a sanitizer report) is a
// finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "Log.h"
#include "WorkFile.h"

namespace {

NopLogAppender quietAppender;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Expansion logs every changed value; the records are composed but not printed.
    Logger::defaultLogger().setAppender(quietAppender);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static WorkFile work;
    work.write(data, size);

    CfgFile cfg;
    try {
        cfg = CfgFile::load(work.path);
    } catch (const VorlaneError<std::runtime_error>& e) {
        const std::string prefix = "Error parsing [" + work.path + "] file at ";
        if (std::string(e.rawMessage()).compare(0, prefix.size(), prefix) != 0) {
            std::cerr << "unexpected load failure: " << e.what() << std::endl;
            std::abort();
        }
        return 0;
    }

    const CfgFile expanded =
        cfg.expandMacros({{"APPDIR", "/opt/app"}, {"BINDIR", "$APPDIR"}, {"ROOTDIR", ""}});
    // Expansion never adds or removes values.
    for (const CfgFile::SectionId* s : SectionName::all) {
        const CfgFile::PropertyMap& before = cfg.getProperties(*s);
        const CfgFile::PropertyMap& after = expanded.getProperties(*s);
        if (before.size() != after.size()) {
            std::cerr << "expansion changed the properties of " << s->name() << std::endl;
            std::abort();
        }
        for (CfgFile::PropertyMap::const_iterator a = before.begin(), b = after.begin();
             a != before.end(); ++a, ++b) {
            if (!(a->first == b->first) || a->second.size() != b->second.size()) {
                std::cerr << "expansion changed the values of " << a->first.name() << std::endl;
                std::abort();
            }
            for (const std::string& value : a->second) {
                if (value.find('\n') != std::string::npos) {
                    std::cerr << "a value holds a line feed" << std::endl;
                    std::abort();
                }
            }
        }
    }
    return 0;
}
