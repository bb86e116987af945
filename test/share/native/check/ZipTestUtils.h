#ifndef ZIPTESTUTILS_H
#define ZIPTESTUTILS_H

// Zip files made by hand, damaged on purpose where a test needs it, and jars made by the
// installed JDK's own tools.

#include <cstdint>
#include <string>
#include <vector>

// One entry as it goes into the file.
struct ZipEntrySpec {
    std::string name;
    std::string data; // as stored in the file
    uint16_t method;  // 0 stored, 8 deflated
    uint64_t size;    // the size recorded for the content
    uint32_t crc;     // the CRC-32 recorded for the content
    uint16_t flags;
};

// content stored as it is.
ZipEntrySpec storedEntry(const std::string& name, const std::string& content);
// content deflated (as one stored deflate block: deflated all the same, without a compressor).
ZipEntrySpec deflatedEntry(const std::string& name, const std::string& content);

struct ZipLayout {
    std::string prefix;  // bytes before the zip data, such as a script
    std::string comment; // the end record's comment
    bool zip64 = false;  // every size and offset in zip64 fields, with the zip64 end records
};

std::string makeZip(const std::vector<ZipEntrySpec>& entries, const ZipLayout& layout = {});

// Writes a jar with entries (name, content) and an optional manifest text to path.
void writeJar(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& files,
              const std::string& manifest = std::string());

// Compiles the module com.example.app (exporting com.example, with one class com.example.Main)
// below dir into classesDir, packs it into plainJar and, naming its main class, into mainJar;
// "" on success, else what failed.
std::string compileExampleModule(const std::string& javaHome, const std::string& dir,
                                 const std::string& classesDir, const std::string& plainJar,
                                 const std::string& mainJar);

// Where value (4 bytes, little-endian) first occurs in zip; fails the test when it does not.
size_t signatureAt(const std::string& zip, uint32_t signature, size_t from = 0);

// Writes v as n little-endian bytes into s at pos.
void putLittleEndian(std::string& s, size_t pos, uint64_t v, size_t n);

#endif // ZIPTESTUTILS_H
