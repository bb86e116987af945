#ifndef CFGFILE_H
#define CFGFILE_H

#include <cstring>
#include <map>
#include <string>
#include <vector>

// The launcher configuration: the sections and properties below, values in file order.
class CfgFile {
public:
    // Refers to one constant name text; compares by that text, never by address.
    template <class Tag> class Id {
    public:
        constexpr explicit Id(const char* str) : str(str) {}

        bool operator==(const Id& other) const { return std::strcmp(str, other.str) == 0; }
        bool operator!=(const Id& other) const { return !(*this == other); }
        bool operator<(const Id& other) const { return std::strcmp(str, other.str) < 0; }

        const char* name() const { return str; }

    private:
        const char* str;
    };

    typedef Id<struct SectionNameTag> SectionId;
    typedef Id<struct PropertyNameTag> PropertyId;

    typedef std::vector<std::string> Values;
    typedef std::map<PropertyId, Values> PropertyMap;
    typedef std::map<SectionId, PropertyMap> SectionMap;
    typedef std::map<std::string, std::string> Macros;

    // The section's properties, or an empty map when the section is absent.
    const PropertyMap& getProperties(const SectionId& section) const;

    // Makes values the complete value list of the property, creating what is missing.
    CfgFile& setPropertyValue(const SectionId& section, const PropertyId& property,
                              const Values& values);

    // Told what expansion makes of the values, for tools that explain a configuration.
    class ExpansionObserver {
    public:
        // The index-th value of the property changed from one text to the other.
        virtual void onExpanded(const SectionId& section, const PropertyId& property, size_t index,
                                const std::string& from, const std::string& to) = 0;
        // A reference in the index-th value that no macro nor environment variable resolves.
        virtual void onUnresolved(const SectionId& section, const PropertyId& property,
                                  size_t index, const std::string& reference,
                                  const std::string& name) = 0;
        // A reference in the index-th value that the environment variable name resolved.
        virtual void onEnvReference(const SectionId&, const PropertyId&, size_t,
                                    const std::string& /* name */) {}
        // The index-th value has a "${" without "}": the rest of it is taken as it is.
        virtual void onUnclosed(const SectionId& section, const PropertyId& property,
                                size_t index) = 0;

    protected:
        ~ExpansionObserver() = default;
    };

    // A copy with every value's references and escapes expanded, told to observer when not null.
    CfgFile expandMacros(const Macros& macros, ExpansionObserver* observer = nullptr) const;

    // Told what the parser makes of each line, for tools that explain a configuration.
    class LineObserver {
    public:
        // Every line as read (without its line feed), before it is classified.
        virtual void onLine(size_t lineNo, const std::string& line) = 0;
        // A section header; section is null when the name is not a known one.
        virtual void onSection(size_t lineNo, const std::string& name,
                               const SectionId* section) = 0;
        // A property line as split; kept when both section and property are known (not null).
        virtual void onProperty(size_t lineNo, const std::string& name, const std::string& value,
                                const SectionId* section, const PropertyId* property) = 0;
        // The properties kept since the last header replace everything section had.
        virtual void onCommit(const SectionId& section) = 0;

    protected:
        ~LineObserver() = default;
    };

    // Reads the file, telling observer each line; throws on open or read failure, or no "]".
    static CfgFile load(const std::string& path, LineObserver* observer = nullptr);

    // The last value of the property ("" for an empty list).
    static std::string asString(const PropertyMap::value_type& property);

    // All values of the property joined with ":".
    static std::string asPathList(const PropertyMap::value_type& property);

private:
    SectionMap sections;
    PropertyMap emptyProperties;
};

namespace SectionName {
inline constexpr CfgFile::SectionId Application("Application");
inline constexpr CfgFile::SectionId JavaOptions("JavaOptions");
inline constexpr CfgFile::SectionId AppCDSJavaOptions("AppCDSJavaOptions");
inline constexpr CfgFile::SectionId
    AppCDSGenerateCacheJavaOptions("AppCDSGenerateCacheJavaOptions");
inline constexpr CfgFile::SectionId ArgOptions("ArgOptions");

// Every section the parser recognises, in the order a CfgFile keeps them (by name).
inline constexpr const CfgFile::SectionId* all[] = {
    &AppCDSGenerateCacheJavaOptions, &AppCDSJavaOptions, &Application, &ArgOptions, &JavaOptions,
};
} // namespace SectionName

namespace PropertyName {
inline constexpr CfgFile::PropertyId version("app.version");
inline constexpr CfgFile::PropertyId mainjar("app.mainjar");
inline constexpr CfgFile::PropertyId mainmodule("app.mainmodule");
inline constexpr CfgFile::PropertyId mainclass("app.mainclass");
inline constexpr CfgFile::PropertyId classpath("app.classpath");
inline constexpr CfgFile::PropertyId modulepath("app.modulepath");
inline constexpr CfgFile::PropertyId runtime("app.runtime");
inline constexpr CfgFile::PropertyId splash("app.splash");
inline constexpr CfgFile::PropertyId memory("app.memory");
inline constexpr CfgFile::PropertyId arguments("arguments");
inline constexpr CfgFile::PropertyId javaOptions("java-options");
inline constexpr CfgFile::PropertyId winNorestart("win.norestart");

// Every property the parser recognises, in the order a CfgFile keeps them (by name).
inline constexpr const CfgFile::PropertyId* all[] = {
    &classpath, &mainclass, &mainjar, &mainmodule, &memory,      &modulepath,
    &runtime,   &splash,    &version, &arguments,  &javaOptions, &winNorestart,
};
} // namespace PropertyName

#endif // CFGFILE_H
