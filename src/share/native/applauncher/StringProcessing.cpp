#include "StringProcessing.h"

#include <algorithm>

#include "tstrings.h"

namespace StringProcessing {

namespace {

// Emits the text between the last emitted position and a given end as one token.
class TokenBuilder {
public:
    explicit TokenBuilder(const std::string& str) : str(str), start(0) {}

    void addNextToken(size_t end, TokenType type, TokenizedString& tokens) {
        if (end == start) {
            return;
        }
        tokens.push_back({type, str.substr(start, end - start)});
        start = end;
    }

private:
    const std::string& str;
    size_t start;
};

// Byte tests, independent of the locale.
bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}

} // namespace

std::string getVariableName(const std::string& token) {
    // "${name}" or "$name"
    return tstrings::endsWith(token, "}") ? token.substr(2, token.size() - 3) : token.substr(1);
}

TokenizedString tokenize(const std::string& str) {
    // At most two tokens per "$" or backslash, one after the last: the list never grows again.
    const size_t specials = static_cast<size_t>(
        std::count_if(str.begin(), str.end(), [](char c) { return c == '$' || c == '\\'; }));
    TokenizedString tokens;
    tokens.reserve(2 * specials + 1);
    TokenBuilder builder(str);
    const size_t len = str.size();
    size_t pos = 0;
    while (pos < len) {
        const char c = str[pos];
        const bool hasNext = pos + 1 < len;
        if (c == '\\' && hasNext && (str[pos + 1] == '\\' || str[pos + 1] == '$')) {
            builder.addNextToken(pos, STRING, tokens);
            pos += 2;
            builder.addNextToken(pos, ESCAPED_CHAR, tokens);
            continue;
        }
        if (c != '$' || !hasNext) {
            ++pos;
            continue;
        }
        const char next = str[pos + 1];
        if (next == '{') {
            const size_t close = str.find('}', pos + 2);
            if (close == std::string::npos) {
                // An unclosed brace ends the scan: the rest of the text is taken literally.
                break;
            }
            builder.addNextToken(pos, STRING, tokens);
            pos = close + 1;
            builder.addNextToken(pos, VARIABLE, tokens);
        } else if (isNameStart(next)) {
            size_t end = pos + 2;
            while (end < len && isNameChar(str[end])) {
                ++end;
            }
            builder.addNextToken(pos, STRING, tokens);
            pos = end;
            builder.addNextToken(pos, VARIABLE, tokens);
        } else {
            ++pos;
        }
    }
    builder.addNextToken(len, STRING, tokens);
    return tokens;
}

std::string stringify(const TokenizedString& tokens) {
    size_t size = 0;
    for (const Token& token : tokens) {
        size += token.value.size();
    }
    std::string result;
    result.reserve(size);
    for (const Token& token : tokens) {
        if (token.type == ESCAPED_CHAR && !token.value.empty()) {
            result.append(token.value, 1, std::string::npos);
        } else {
            result += token.value;
        }
    }
    return result;
}

VariableNameList extractVariableNames(const TokenizedString& tokens) {
    VariableNameList names;
    for (const Token& token : tokens) {
        if (token.type == VARIABLE) {
            names.push_back(getVariableName(token.value));
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void expandVariables(TokenizedString& tokens, const VariableValues& variables) {
    for (Token& token : tokens) {
        if (token.type != VARIABLE) {
            continue;
        }
        const VariableValues::const_iterator it = variables.find(getVariableName(token.value));
        if (it != variables.end()) {
            token.type = STRING;
            token.value = it->second;
        }
    }
}

bool hasUnclosedReference(const TokenizedString& tokens) {
    // The scan stops at an unclosed "${": only the last STRING token can hold one.
    return !tokens.empty() && tokens.back().type == STRING &&
           tokens.back().value.find("${") != std::string::npos;
}

} // namespace StringProcessing
