#ifndef JARMANIFEST_H
#define JARMANIFEST_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

class ZipFile;

// The main attributes of a jar's manifest (META-INF/MANIFEST.MF), read as the Java runtime
// reads them: "Name: value" lines, continued by lines that start with one blank, ended by CR
// LF, LF or CR; the main section ends at the first empty line. The runtime refuses a manifest
// as a whole for any line it cannot read, in any section, and so does parse().
class JarManifest {
public:
    // What reading a jar's manifest gave.
    enum class Status {
        Absent,     // the jar has no META-INF/MANIFEST.MF
        Valid,      // read, and the runtime reads it too
        Invalid,    // read, but the runtime refuses its text (error() says why)
        Unreadable, // the entry is damaged or larger than kMaxSize
    };

    // A manifest larger than this is not read.
    static constexpr size_t kMaxSize = 4u << 20;
    static const char* const kEntryName; // "META-INF/MANIFEST.MF"

    // Reads the main attributes of manifest text; false, with error() telling the line and
    // why, when the runtime would refuse the manifest. Never throws.
    bool parse(const std::string& text);
    // Reads the manifest of jar, as described for Status. Never throws.
    Status readFrom(const ZipFile& jar);

    // The value of the main attribute name (matched in any letter case), "" when absent.
    std::string value(const std::string& name) const;
    bool has(const std::string& name) const;
    // Main-Class as written, "" when absent.
    std::string mainClass() const { return value("Main-Class"); }
    // The relative URLs of Class-Path, in order, as split at blanks.
    std::vector<std::string> classPath() const;
    // Automatic-Module-Name as written, "" when absent.
    // True when Multi-Release is "true" in any letter case.
    bool multiRelease() const;

    // Why the last parse failed, "" when it did not.
    const std::string& error() const { return reason; }

private:
    // Keyed by the name in lower case; a later occurrence replaces an earlier one.
    std::map<std::string, std::string> attributes;
    std::string reason;
};

#endif // JARMANIFEST_H
