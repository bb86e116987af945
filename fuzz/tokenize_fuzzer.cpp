// Tokenizing arbitrary text must give back the text exactly, in well-formed tokens.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "StringProcessing.h"

using namespace StringProcessing;

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& input) {
    std::cerr << "tokenize invariant broken: " << what << " (input of " << input.size() << " bytes)"
              << std::endl;
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    TokenizedString tokens = tokenize(input);

    std::string joined;
    size_t escapes = 0;
    for (const Token& t : tokens) {
        if (t.value.empty()) {
            fail("empty token", input);
        }
        switch (t.type) {
        case STRING:
            break;
        case VARIABLE:
            if (t.value.size() < 2 || t.value[0] != '$') {
                fail("variable token without a name", input);
            }
            break;
        case ESCAPED_CHAR:
            if (t.value.size() != 2 || t.value[0] != '\\' ||
                (t.value[1] != '\\' && t.value[1] != '$')) {
                fail("malformed escape token", input);
            }
            ++escapes;
            break;
        default:
            fail("unknown token type", input);
        }
        joined += t.value;
    }
    if (joined != input) {
        fail("tokens do not concatenate to the input", input);
    }

    // Each escape drops exactly one byte; unresolved references come back as written.
    const std::string plain = stringify(tokens);
    if (plain.size() != input.size() - escapes) {
        fail("stringify lost or added bytes", input);
    }
    expandVariables(tokens, VariableValues());
    if (stringify(tokens) != plain) {
        fail("expanding with no variables changed the text", input);
    }

    // Resolving every name with a fixed text must not touch the rest of the text.
    VariableValues all;
    for (const std::string& name : extractVariableNames(tokens)) {
        all[name] = "<" + name + ">";
    }
    expandVariables(tokens, all);
    for (const Token& t : tokens) {
        if (t.type == VARIABLE) {
            fail("a reference stayed unresolved", input);
        }
    }
    return 0;
}
