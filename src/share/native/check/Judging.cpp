#include "Judging.h"

#include <algorithm>
#include <dirent.h>

#include "FileUtils.h"
#include "JvmLauncher.h"
#include "tstrings.h"

std::vector<std::string> entriesOf(std::vector<std::string> list) {
    list.erase(std::remove(list.begin(), list.end(), std::string()), list.end());
    return list;
}

std::vector<std::string> entriesOf(const std::string& value, const char* separators) {
    std::vector<std::string> entries;
    for (size_t start = 0; start < value.size();) {
        const size_t end = std::min(value.find_first_of(separators, start), value.size());
        entries.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    return entriesOf(entries);
}

size_t lineOfValue(const CfgDiagnostics& lines, const ValueRef& v) {
    return lines.lineOf(v.section, v.property,
                        v.index == Jvm::ArgumentObserver::kAllValues ? 0 : v.index);
}

size_t Findings::lastLineOf(const CfgFile::PropertyId& p) const {
    const CfgFile::Values* v = values(SectionName::Application, p);
    return v && !v->empty() ? lines.lineOf(SectionName::Application, p, v->size() - 1) : 0;
}

std::vector<Findings::GivenPath> Findings::pathsGiven(RuntimeOptions::Value path,
                                                      size_t end) const {
    const std::vector<std::string>& args = rec.launch->args;
    std::vector<GivenPath> given;
    for (size_t i = 1; i < end; ++i) {
        const std::optional<ValueRef>& origin = originOf(i);
        const RuntimeOptions::Match before = RuntimeOptions::read(args[i - 1]);
        const RuntimeOptions::Match self = RuntimeOptions::read(args[i]);
        if (origin && before.next && before.is(path)) {
            given.push_back({lineOf(*origin), args[i], origin->property.name()});
        } else if (origin && !self.next && self.is(path)) {
            given.push_back({lineOf(*origin), self.value, origin->property.name()});
        }
    }
    return given;
}

const CfgFile::Values* Findings::values(const CfgFile::SectionId& s,
                                        const CfgFile::PropertyId& p) const {
    if (!rec.expanded) {
        return nullptr;
    }
    const CfgFile::PropertyMap& props = rec.expanded->getProperties(s);
    const CfgFile::PropertyMap::const_iterator it = props.find(p);
    return it == props.end() ? nullptr : &it->second;
}

const std::optional<ValueRef>& Findings::originOf(size_t argIndex) const {
    static const std::optional<ValueRef> none;
    return rec.launch && argIndex < rec.launch->origins.size() ? rec.launch->origins[argIndex]
                                                               : none;
}

const std::vector<std::string>* Findings::property(const std::string& name) const {
    if (!rec.trial) {
        return nullptr;
    }
    const auto it = rec.trial->properties.find(name);
    return it == rec.trial->properties.end() ? nullptr : &it->second;
}

size_t Findings::startLine() const {
    for (const CfgFile::PropertyId* p :
         {&PropertyName::mainmodule, &PropertyName::mainclass, &PropertyName::mainjar}) {
        if (const size_t line = lastLineOf(*p)) {
            return line;
        }
    }
    return lines.headerLineOf(SectionName::Application);
}

std::string quotedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        const size_t begin = line.find_first_not_of(" \t");
        const size_t end = line.find_last_not_of(" \t\r");
        text += (text.empty() ? "" : " ") +
                quotedText(begin == std::string::npos ? "" : line.substr(begin, end - begin + 1));
    }
    return text;
}

std::string relativePathText(const Findings& f, const std::string& path, const char* advice) {
    const LaunchRecord::Start& start = f.rec.start;
    if (start.doubleClick) {
        return " is relative: a double-click starts the launcher in \"/\", so it reads " +
               quotedText(FileUtils::combinePath("/", path)) + ", not a file of the bundle; " +
               advice;
    }
    return std::string(" is relative: it is resolved against the working directory at launch, "
                       "not the bundle; ") +
           advice;
}

std::vector<std::string> namesIn(const std::string& dir,
                                 const std::function<bool(const std::string&)>& take) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && take(name)) {
                names.push_back(name);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool isJarName(const std::string& name) {
    return tstrings::endsWith(name, ".jar") || tstrings::endsWith(name, ".JAR");
}
