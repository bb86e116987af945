#ifndef STRINGPROCESSING_H
#define STRINGPROCESSING_H

#include <map>
#include <string>
#include <vector>

// Variable references ("$NAME", "${NAME}") and the escapes "\\" and "\$" in a text.
namespace StringProcessing {

enum TokenType { STRING = 0, VARIABLE = 1, ESCAPED_CHAR = 2 };

struct Token {
    TokenType type;
    std::string value;
};

typedef std::vector<Token> TokenizedString;
typedef std::vector<std::string> VariableNameList;
typedef std::map<std::string, std::string> VariableValues;

// The name of a VARIABLE token's value: "$name" or "${name}".
std::string getVariableName(const std::string& token);

// The tokens of str; their values concatenated give str back.
TokenizedString tokenize(const std::string& str);

// The text the tokens stand for: escapes lose their backslash, the rest is copied.
std::string stringify(const TokenizedString& tokens);

// The names of the VARIABLE tokens, sorted, without duplicates.
VariableNameList extractVariableNames(const TokenizedString& tokens);

// Turns every VARIABLE token whose name is in variables into a STRING of its value.
void expandVariables(TokenizedString& tokens, const VariableValues& variables);

// True when the text ends in a "${" without "}", which tokenize takes as it is.
bool hasUnclosedReference(const TokenizedString& tokens);

} // namespace StringProcessing

#endif // STRINGPROCESSING_H
