#include <gtest/gtest.h>

#include "StringProcessing.h"
#include "tstrings.h"

using namespace StringProcessing;

namespace {

// Tokens as "S(text)", "V(text)", "E(text)" side by side.
std::string dump(const TokenizedString& tokens) {
    static const char* const kinds[] = {"S", "V", "E"};
    std::string out;
    for (const Token& t : tokens) {
        out += std::string(kinds[t.type]) + "(" + t.value + ")";
    }
    return out;
}

std::string expand(const std::string& value, const VariableValues& variables) {
    TokenizedString tokens = tokenize(value);
    expandVariables(tokens, variables);
    return stringify(tokens);
}

TEST(StringProcessingTest, Tokenize) {
    const struct {
        std::string input;
        std::string want;
    } cases[] = {
        {"", ""},
        {"plain", "S(plain)"},
        {"$APPDIR/lib", "V($APPDIR)S(/lib)"},
        {"${APPDIR}/lib", "V(${APPDIR})S(/lib)"},
        {"$_a1_b/c", "V($_a1_b)S(/c)"},
        {"$$A", "S($)V($A)"},
        // A "$" without a name is text.
        {"cost$", "S(cost$)"},
        {"$1", "S($1)"},
        {"$-x", "S($-x)"},
        {"a $ b", "S(a $ b)"},
        {"$}", "S($})"},
        {"$", "S($)"},
        // Brace forms: any bytes up to the first "}".
        {"${}", "V(${})"},
        {"${A B}", "V(${A B})"},
        {"${A${B}}", "V(${A${B})S(})"},
        // An unclosed brace stops the scan.
        {"$A/${X", "V($A)S(/${X)"},
        {"${X $A", "S(${X $A)"},
        {"\\$ ${X \\$", "E(\\$)S( ${X \\$)"},
        // Escapes.
        {"\\$A", "E(\\$)S(A)"},
        {"\\\\$A", "E(\\\\)V($A)"},
        {"\\\\\\", "E(\\\\)S(\\)"},
        {"x\\y", "S(x\\y)"},
        {"a\\nb\\", "S(a\\nb\\)"},
        {"\\${A}", "E(\\$)S({A})"},
    };
    for (const auto& c : cases) {
        const TokenizedString tokens = tokenize(c.input);
        EXPECT_EQ(c.want, dump(tokens)) << c.input;
        std::string joined;
        for (const Token& t : tokens) {
            joined += t.value;
        }
        EXPECT_EQ(c.input, joined) << c.input;
    }
}

TEST(StringProcessingTest, Expand) {
    const VariableValues vars = {{"APPDIR", "/opt/app"},
                                 {"", "empty-name"},
                                 {"A B", "ab"},
                                 {"SELF", "$APPDIR\\\\"},
                                 {"NOTHING", ""}};
    const struct {
        std::string input;
        std::string want;
    } cases[] = {
        {"$APPDIR/lib", "/opt/app/lib"},
        {"${APPDIR}/lib", "/opt/app/lib"},
        {"$APPDIRx", "$APPDIRx"},
        {"${APPDIR}x", "/opt/appx"},
        // Escapes lose their backslash; other backslashes stay.
        {"\\$APPDIR", "$APPDIR"},
        {"\\\\$APPDIR", "\\/opt/app"},
        {"a\\nb\\", "a\\nb\\"},
        // Any bytes between braces make a name.
        {"${}", "empty-name"},
        {"${A B}", "ab"},
        // After an unclosed brace nothing is interpreted; tokenizing covers the rest.
        {"$APPDIR/${X", "/opt/app/${X"},
        // Inserted text is never scanned again; an empty value is a value.
        {"$SELF", "$APPDIR\\\\"},
        {"[$NOTHING]", "[]"},
        {"$appdir", "$appdir"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.want, expand(c.input, vars)) << c.input;
    }
}

TEST(StringProcessingTest, ExtractVariableNames) {
    const struct {
        std::string input;
        std::string want;
    } cases[] = {
        {"", ""},
        {"$B/${A}/$B/${}/\\$C/${A B}", ",,A,A B,B"},
        {"${X $Y", ""},
    };
    for (const auto& c : cases) {
        const VariableNameList names = extractVariableNames(tokenize(c.input));
        std::string got;
        for (const std::string& n : names) {
            got += "," + n;
        }
        EXPECT_EQ(c.want, got) << c.input;
    }
}

} // namespace
