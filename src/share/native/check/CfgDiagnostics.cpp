#include "CfgDiagnostics.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "AppLauncher.h"
#include "tstrings.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::string trimBlanks(const std::string& s) {
    const size_t begin = s.find_first_not_of(" \t");
    return begin == std::string::npos ? "" : s.substr(begin, s.find_last_not_of(" \t") + 1 - begin);
}

// Edits (insert, delete, replace a byte) that turn a into b.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

template <class IdType, size_t N>
std::string closest(const IdType* const (&ids)[N], const std::string& name) {
    const std::string trimmed = tstrings::toLower(trimBlanks(name));
    std::string best;
    size_t bestDistance = 3; // more than two edits is another word
    for (const IdType* id : ids) {
        const std::string candidate = id->name();
        const size_t d = editDistance(trimmed, tstrings::toLower(candidate));
        if (d < bestDistance && candidate.size() > d * 3) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace

const char* shortEscape(char c) {
    return c == '\r' ? "\\r" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : "";
}

std::string visibleText(const std::string& s) {
    std::string out;
    for (const char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (*shortEscape(c)) {
            out += shortEscape(c);
        } else if (u < 0x20 || u == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string quotedText(const std::string& s) {
    return "\"" + visibleText(s) + "\"";
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string CfgDiagnostics::closestSection(const std::string& name) {
    return closest(SectionName::all, name);
}

std::string CfgDiagnostics::closestProperty(const std::string& name) {
    return closest(PropertyName::all, name);
}

void CfgDiagnostics::onLine(size_t lineNo, const std::string& line) {
    if (lineNo == 1 && line.compare(0, kBom.size(), kBom) == 0) {
        // What follows is outside any section too; this finding says why.
        outsideExplained = true;
        add(lineNo, "UTF-8 byte-order mark: the launcher reads it as part of the first line, "
                    "which is then not " +
                        quotedText(line.substr(kBom.size())) + "; save the file without it");
    }
    if (!seenNul && line.find('\0') != std::string::npos) {
        seenNul = true;
        add(lineNo, "NUL byte: the runtime receives a value only up to its first NUL byte");
    }
    if (!seenCr) {
        const size_t cr = line.find('\r');
        if (cr != std::string::npos) {
            seenCr = true;
            if (cr + 1 == line.size()) {
                add(lineNo, "CR LF line endings: every value keeps a carriage return at its "
                            "end; save the file with LF line endings");
            } else {
                add(lineNo, "CR line endings: the launcher reads everything up to the next line "
                            "feed as one line; save the file with LF line endings");
            }
        }
    }
}

void CfgDiagnostics::onSection(size_t lineNo, const std::string& name,
                               const CfgFile::SectionId* section) {
    outsideExplained = true;
    pending = SectionLines();
    pending.header = lineNo;
    if (section) {
        headers[*section] = lineNo;
        return;
    }
    std::string text = "unknown section [" + visibleText(name) + "]; its properties are ignored";
    const std::string suggestion = closestSection(name);
    if (!suggestion.empty()) {
        text += " (did you mean [" + suggestion + "]?)";
    }
    add(lineNo, text);
}

void CfgDiagnostics::onProperty(size_t lineNo, const std::string& name, const std::string& value,
                                const CfgFile::SectionId* section,
                                const CfgFile::PropertyId* property) {
    if (!section) {
        // Below an unknown header (or a byte-order mark) that finding says it all.
        if (!outsideExplained) {
            add(lineNo, quotedText(name) + " is outside a known section and is ignored; put it "
                                           "below a header such as [Application]");
        }
        return;
    }

    if (property) {
        pending.properties[*property].push_back(lineNo);
        if (!value.empty() && isBlank(value[0])) {
            add(lineNo, "blank after \"=\": the value of " + quotedText(name) + " is " +
                            quotedText(value) + ", blanks included");
        } else if (!value.empty() && isBlank(value.back())) {
            add(lineNo, "blank at the end of the value of " + quotedText(name) + ": it is " +
                            quotedText(value) +
                            ", blank included, as the runtime gets it; "
                            "remove the blank");
        }
        // Only sections the launch reads are judged: the others are kept but never looked at.
        const auto& reads = AppLauncher::readProperties;
        const auto home = std::find_if(std::begin(reads), std::end(reads),
                                       [&](const auto& r) { return *r.property == *property; });
        if (home != std::end(reads) && !(*home->section == *section) &&
            std::any_of(std::begin(reads), std::end(reads),
                        [&](const auto& r) { return *r.section == *section; })) {
            add(lineNo, quotedText(name) + " is not read in [" + section->name() +
                            "]; it belongs in [" + home->section->name() + "]");
        }
        return;
    }

    if (value.empty() && name.find_first_not_of(" \t\r") == std::string::npos) {
        return; // a blank line, with a carriage return in a CR LF file
    }
    const std::string trimmed = trimBlanks(name);
    if (trimmed != name && !trimmed.empty() && trimmed[0] == '[') {
        add(lineNo,
            "blanks before \"[\": " + quotedText(name) + " is not a section header and is ignored");
        return;
    }
    for (const CfgFile::PropertyId* known : PropertyName::all) {
        if (trimmed != name && trimmed == known->name()) {
            add(lineNo, "blanks around \"=\": the property name is " + quotedText(name) + ", not " +
                            quotedText(trimmed) + ", so the line is ignored; write " +
                            visibleText(trimmed) + "=" + visibleText(trimBlanks(value)));
            return;
        }
    }
    std::string text =
        "unknown property " + quotedText(name) + " in [" + section->name() + "] is ignored";
    const std::string suggestion = closestProperty(name);
    if (!suggestion.empty()) {
        text += " (did you mean " + quotedText(suggestion) + "?)";
    }
    add(lineNo, text);
}

void CfgDiagnostics::onCommit(const CfgFile::SectionId& section) {
    const auto earlier = kept.find(section);
    if (earlier != kept.end()) {
        add(pending.header,
            "[" + std::string(section.name()) +
                "] again: the launcher keeps only the last of them, so the values of the one at "
                "line " +
                std::to_string(earlier->second.header) +
                " are dropped; put them all in one section");
    }
    kept[section] = pending;
    pending = SectionLines();
}

size_t CfgDiagnostics::lineOf(const CfgFile::SectionId& section,
                              const CfgFile::PropertyId& property, size_t index) const {
    const auto s = kept.find(section);
    if (s == kept.end()) {
        return 0;
    }
    const auto p = s->second.properties.find(property);
    if (p == s->second.properties.end() || index >= p->second.size()) {
        return 0;
    }
    return p->second[index];
}

size_t CfgDiagnostics::headerLineOf(const CfgFile::SectionId& section) const {
    const auto s = kept.find(section);
    if (s != kept.end()) {
        return s->second.header;
    }
    const auto h = headers.find(section);
    return h == headers.end() ? 0 : h->second;
}
