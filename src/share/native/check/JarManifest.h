#ifndef JARMANIFEST_H
#define JARMANIFEST_H

#include <map>
#include <string>
#include <vector>

// The main attributes of a jar's manifest (META-INF/MANIFEST.MF), found through the central
// directory and unpacked with zlib, as the runtime reads them. Nothing here throws.
namespace JarManifest {

// Attribute names in lower case, each with its value; a later occurrence replaces an earlier.
typedef std::map<std::string, std::string> Attributes;

// The main attributes of manifest text.
Attributes parse(const std::string& text);
// The manifest of the jar at path; empty when it has none or cannot be read.
Attributes read(const std::string& path);
// False for a regular file without a zip's end record, which the runtime passes over silently.
bool isZip(const std::string& path);
// The relative URLs of the Class-Path attribute, in order, split at blanks.
std::vector<std::string> classPath(const Attributes& attributes);
// The files that the Class-Path of the jar at path names, as the runtime takes its URLs (relative
// to the jar's directory, "%XX" decoded); other URLs and bad escapes left out.
std::vector<std::string> classPathFiles(const std::string& path);

} // namespace JarManifest

#endif // JARMANIFEST_H
