#ifndef ZIPFILE_H
#define ZIPFILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A zip file (a jar) read from its central directory, as the Java runtime reads one: the entry
// names without unpacking anything, and single entries on demand. Refuses what the runtime
// refuses to open (an entry compressed other than stored or deflated, an encrypted entry).
// Nothing here throws; a damaged file is reported by return value.
class ZipFile {
public:
    ZipFile() = default;
    ~ZipFile();
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;

    // Reads the central directory of the file at path (links followed); false when it is no zip
    // file that can be read, error() says why. The file stays open until the object goes.
    bool open(const std::string& path);
    // The same for a zip file held in memory.
    bool openBytes(std::string data);
    // Why the last open failed, in a few words; "" after one that succeeded.
    const std::string& error() const { return reason; }

    // The entry names as stored (bytes, "/" between the parts), in central-directory order.
    const std::vector<std::string>& names() const { return entryNames; }
    // True when an entry has exactly this name.
    bool contains(const std::string& name) const;
    // The content of the entry name, stored or deflated, in out; false when there is no such
    // entry, or it is larger than limit bytes, damaged or compressed another way.
    bool read(const std::string& name, std::string& out, size_t limit) const;

private:
    struct Entry {
        uint64_t localOffset; // from the start of the zip data
        uint64_t compressedSize;
        uint64_t size;
        uint32_t crc;
        uint16_t method;
    };

    void close();
    bool fail(const std::string& why);
    bool readCentralDirectory();
    // n bytes at offset into out; false when they are not all in the file.
    bool readAt(uint64_t offset, size_t n, std::string& out) const;
    const Entry* find(const std::string& name) const;

    int fd = -1;
    std::string bytes; // the whole file, when opened from memory
    uint64_t fileSize = 0;
    uint64_t base = 0; // where the zip data starts (after a prefix such as a script)
    std::vector<std::string> entryNames;
    std::vector<Entry> entries;   // parallel to entryNames
    std::vector<uint32_t> byName; // indexes sorted by name, equal names in file order
    std::string reason;
};

#endif // ZIPFILE_H
