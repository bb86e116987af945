#ifndef JARMANIFEST_H
#define JARMANIFEST_H

#include <map>
#include <string>
#include <vector>

// The main attributes of a jar's manifest (META-INF/MANIFEST.MF): "Name: value" lines,
// continued by lines that start with one blank, ended by CR LF, LF or CR, up to the first empty
// line. The jar is read from its central directory; only the manifest is unpacked (zlib).
// Nothing here throws.
namespace JarManifest {

// Attribute names in lower case, each with its value; a later occurrence replaces an earlier.
typedef std::map<std::string, std::string> Attributes;

// The main attributes of manifest text.
Attributes parse(const std::string& text);
// The manifest of the jar at path; empty when it has none or cannot be read.
Attributes read(const std::string& path);
// False when the file at path is a regular file without a zip's end record (no jar, whatever
// its name: the runtime passes over it without a word); true for anything else.
bool isZip(const std::string& path);
// The relative URLs of the Class-Path attribute, in order, split at blanks.
std::vector<std::string> classPath(const Attributes& attributes);
// The files that the Class-Path of the jar at path names, as the runtime takes its URLs: relative
// to the jar's directory, "file:" ones as paths, "%XX" decoded; other URLs and bad escapes left
// out.
std::vector<std::string> classPathFiles(const std::string& path);

} // namespace JarManifest

#endif // JARMANIFEST_H
