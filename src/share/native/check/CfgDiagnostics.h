#ifndef CFGDIAGNOSTICS_H
#define CFGDIAGNOSTICS_H

#include <map>
#include <string>
#include <vector>

#include "CfgFile.h"

// One finding about a configuration file: the line it is about and what to say; an error is a
// mistake that makes the launch fail for certain.
struct Diagnostic {
    size_t line;
    std::string text;
    bool error = false;
};

// The escape of a carriage return, tab or line feed, as C and JSON write it; "" for others.
const char* shortEscape(char c);
// s with control characters (a carriage return, above all) written as C escapes: \r, \x01.
std::string visibleText(const std::string& s);
// The same in double quotes.
std::string quotedText(const std::string& s);
// True for a blank or a tab.
bool isBlank(char c);

// Watches the parser line by line and notes what the launcher drops or reads differently from
// what was likely meant; also remembers the line of every value it keeps.
class CfgDiagnostics : public CfgFile::LineObserver {
public:
    void onLine(size_t lineNo, const std::string& line) override;
    void onSection(size_t lineNo, const std::string& name,
                   const CfgFile::SectionId* section) override;
    void onProperty(size_t lineNo, const std::string& name, const std::string& value,
                    const CfgFile::SectionId* section,
                    const CfgFile::PropertyId* property) override;
    void onCommit(const CfgFile::SectionId& section) override;

    // The findings in line order.
    const std::vector<Diagnostic>& diagnostics() const { return found; }

    // The line of the index-th kept value of the property in the section, 0 when there is none.
    size_t lineOf(const CfgFile::SectionId& section, const CfgFile::PropertyId& property,
                  size_t index) const;

    // The line of the header whose properties the section kept, else of its last header, 0 when
    // it has none.
    size_t headerLineOf(const CfgFile::SectionId& section) const;

    // The known name closest to name (a typo, other case or blanks away), or "".
    static std::string closestSection(const std::string& name);
    static std::string closestProperty(const std::string& name);

private:
    typedef std::map<CfgFile::PropertyId, std::vector<size_t>> PropertyLines;
    struct SectionLines {
        size_t header = 0;
        PropertyLines properties;
    };

    void add(size_t line, const std::string& text) { found.push_back(Diagnostic{line, text}); }

    std::vector<Diagnostic> found;
    std::map<CfgFile::SectionId, SectionLines> kept;
    SectionLines pending;
    std::map<CfgFile::SectionId, size_t> headers;
    // A header or a byte-order mark already explains why lines are outside a known section.
    bool outsideExplained = false;
    bool seenCr = false;
    bool seenNul = false;
};

#endif // CFGDIAGNOSTICS_H
