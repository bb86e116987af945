#ifndef PACKAGEFILE_H
#define PACKAGEFILE_H

#include <string>

// The optional ".package" file of the application directory: its first line names the package.
class PackageFile {
public:
    // Reads appDir/.package (an empty name without one); throws when it cannot be opened.
    static PackageFile loadFromAppDir(const std::string& appDir);
    // The path of the package file of appDir.
    static std::string pathInAppDir(const std::string& appDir);

    const std::string& packageName() const { return thePackageName; }

private:
    explicit PackageFile(const std::string& name) : thePackageName(name) {}
    std::string thePackageName;
};

#endif // PACKAGEFILE_H
