#include "CfgFile.h"

#include <algorithm>
#include <set>
#include <utility>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "StringProcessing.h"
#include "SysInfo.h"
#include "tstrings.h"

const CfgFile::PropertyMap& CfgFile::getProperties(const SectionId& section) const {
    const SectionMap::const_iterator it = sections.find(section);
    return it == sections.end() ? emptyProperties : it->second;
}

CfgFile& CfgFile::setPropertyValue(const SectionId& section, const PropertyId& property,
                                   const Values& values) {
    sections[section][property] = values;
    return *this;
}

std::string CfgFile::asString(const PropertyMap::value_type& property) {
    return property.second.empty() ? std::string() : property.second.back();
}

std::string CfgFile::asPathList(const PropertyMap::value_type& property) {
    return tstrings::join(property.second, std::string(1, FileUtils::pathSeparator));
}

namespace {

// Names the parser leaves unrecognised; never stored.
constexpr CfgFile::SectionId UnknownSection("");

// The constant whose name is exactly text (byte for byte), or null.
template <class IdType, size_t N>
const IdType* findId(const IdType* const (&ids)[N], const char* text, size_t len) {
    for (const IdType* id : ids) {
        const char* name = id->name();
        if (std::strlen(name) == len && std::memcmp(name, text, len) == 0) {
            return id;
        }
    }
    return nullptr;
}

// Collects the recognised properties of the current section and commits them as a whole.
class Parser {
public:
    Parser(CfgFile::SectionMap& sections, CfgFile::LineObserver* observer)
        : sections(sections), observer(observer), currentSection(&UnknownSection), lineNo(0) {}

    // False for a section header without "]".
    bool processLine(const std::string& line) {
        ++lineNo;
        if (observer) {
            observer->onLine(lineNo, line);
        }
        if (line.empty() || line[0] == ';') {
            return true;
        }
        if (line[0] == '[') {
            const size_t close = line.rfind(']');
            if (close == std::string::npos) {
                return false;
            }
            purgeSection();
            const CfgFile::SectionId* section =
                findId(SectionName::all, line.data() + 1, close - 1);
            currentSection = section ? section : &UnknownSection;
            if (observer) {
                observer->onSection(lineNo, line.substr(1, close - 1), section);
            }
            return true;
        }
        // An "=" preceded by a backslash does not split.
        size_t split = line.find('=');
        while (split != std::string::npos && split > 0 && line[split - 1] == '\\') {
            split = line.find('=', split + 1);
        }
        const size_t nameEnd = std::min(split, line.size());
        addProperty(line, nameEnd, std::min(nameEnd + 1, line.size()));
        return true;
    }

    size_t lineNumber() const { return lineNo; }

    // Commits the pending properties; a section met again is replaced as a whole.
    void purgeSection() {
        if (*currentSection == UnknownSection || pending.empty()) {
            return;
        }
        sections[*currentSection].swap(pending);
        if (observer) {
            observer->onCommit(*currentSection);
        }
        currentSection = &UnknownSection;
        pending.clear();
    }

private:
    // The name is line[0, nameEnd), the value line[valueStart, end); copied only when kept.
    void addProperty(const std::string& line, size_t nameEnd, size_t valueStart) {
        const bool known = *currentSection != UnknownSection;
        const CfgFile::PropertyId* property = findId(PropertyName::all, line.data(), nameEnd);
        if (observer) {
            observer->onProperty(lineNo, line.substr(0, nameEnd), line.substr(valueStart),
                                 known ? currentSection : nullptr, property);
        }
        if (known && property) {
            pending[*property].emplace_back(line, valueStart);
        }
    }

    CfgFile::SectionMap& sections;
    CfgFile::LineObserver* const observer;
    const CfgFile::SectionId* currentSection;
    CfgFile::PropertyMap pending;
    size_t lineNo;
};

// The environment holds no name with "=" or NUL: asking it would answer for another name.
bool canBeEnvVariableName(const std::string& name) {
    return !name.empty() && name.find_first_of(std::string("=\0", 2)) == std::string::npos;
}

// Tells observer what of one value stays as written and what the environment gives.
void observe(CfgFile::ExpansionObserver& observer, const CfgFile::SectionId& section,
             const CfgFile::PropertyId& property, size_t index,
             const StringProcessing::TokenizedString& tokens,
             const StringProcessing::VariableValues& variables, const CfgFile::Macros& macros) {
    for (const StringProcessing::Token& token : tokens) {
        if (token.type == StringProcessing::VARIABLE) {
            const std::string name = StringProcessing::getVariableName(token.value);
            if (variables.find(name) == variables.end()) {
                observer.onUnresolved(section, property, index, token.value, name);
            } else if (macros.find(name) == macros.end()) {
                observer.onEnvReference(section, property, index, name);
            }
        }
    }
    if (StringProcessing::hasUnclosedReference(tokens)) {
        observer.onUnclosed(section, property, index);
    }
}

} // namespace

CfgFile CfgFile::load(const std::string& path, LineObserver* observer) {
    FileUtils::LineReader reader(path);
    if (!reader.openError().empty()) {
        throw makeException(tstrings::any()
                                << "Error opening \"" << path << "\" file: " << reader.openError(),
                            SOURCE_CODE_POS);
    }

    CfgFile cfgFile;
    Parser parser(cfgFile.sections, observer);
    std::string line;
    for (FileUtils::LineReader::Status status = reader.next(line);
         status != FileUtils::LineReader::END; status = reader.next(line)) {
        if (status == FileUtils::LineReader::ERROR) {
            const std::string error = lastCRTError();
            throw makeException(tstrings::any() << "Failed to read \"" << path
                                                << "\" file up to the end: " << error,
                                SOURCE_CODE_POS);
        }
        if (!parser.processLine(line)) {
            throw makeException(tstrings::any() << "Error parsing [" << path << "] file at "
                                                << parser.lineNumber() << ": Missing ']' character",
                                SOURCE_CODE_POS);
        }
    }
    parser.purgeSection();
    return cfgFile;
}

CfgFile CfgFile::expandMacros(const Macros& macros, ExpansionObserver* observer) const {
    // Tokenize every value once, in the traversal order that the second walk repeats.
    std::vector<StringProcessing::TokenizedString> tokenizedStrings;
    std::set<std::string> names;
    for (const SectionMap::value_type& section : sections) {
        for (const PropertyMap::value_type& property : section.second) {
            for (const std::string& value : property.second) {
                tokenizedStrings.emplace_back();
                // Without "$" or a backslash a value cannot change: its list stays empty.
                if (value.find_first_of("$\\") == std::string::npos) {
                    continue;
                }
                tokenizedStrings.back() = StringProcessing::tokenize(value);
                const StringProcessing::VariableNameList found =
                    StringProcessing::extractVariableNames(tokenizedStrings.back());
                names.insert(found.begin(), found.end());
            }
        }
    }

    // Macros win over environment variables; every variable is read before any value changes.
    StringProcessing::VariableValues variables(macros.begin(), macros.end());
    for (const std::string& name : names) {
        if (macros.find(name) == macros.end() && canBeEnvVariableName(name) &&
            SysInfo::isEnvVariableSet(name)) {
            variables[name] = SysInfo::getEnvVariable(name);
        }
    }

    const auto logChange = [](const std::string& from, const std::string& to) {
        LOG_TRACE("Map [" << from << "] into [" << to << "]");
    };

    // The copy is built value by value, so that a value that changes is not copied first.
    CfgFile copy;
    std::vector<StringProcessing::TokenizedString>::iterator tokens = tokenizedStrings.begin();
    for (const SectionMap::value_type& section : sections) {
        PropertyMap& copyProperties =
            copy.sections.emplace_hint(copy.sections.end(), section.first, PropertyMap())->second;
        for (const PropertyMap::value_type& property : section.second) {
            Values& copyValues =
                copyProperties.emplace_hint(copyProperties.end(), property.first, Values())->second;
            copyValues.reserve(property.second.size());
            for (const std::string& value : property.second) {
                // Taken out: a large configuration never holds all lists and the copy at once.
                StringProcessing::TokenizedString valueTokens;
                valueTokens.swap(*tokens++);
                if (valueTokens.empty()) {
                    copyValues.push_back(value);
                    continue;
                }
                if (observer) {
                    observe(*observer, section.first, property.first, copyValues.size(),
                            valueTokens, variables, macros);
                }
                StringProcessing::expandVariables(valueTokens, variables);
                std::string newValue = StringProcessing::stringify(valueTokens);
                if (newValue != value) {
                    logChange(value, newValue);
                    if (observer) {
                        observer->onExpanded(section.first, property.first, copyValues.size(),
                                             value, newValue);
                    }
                }
                copyValues.push_back(std::move(newValue));
            }
        }
    }
    return copy;
}
