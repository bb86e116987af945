#include "ZipTestUtils.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "ProcessUtils.h"
#include "TestUtils.h"

namespace {

void append(std::string& s, uint64_t v, size_t n) {
    for (size_t i = 0; i != n; ++i) {
        s += static_cast<char>(v >> (8 * i) & 0xff);
    }
}

uint32_t crcOf(const std::string& s) {
    return static_cast<uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

} // namespace

ZipEntrySpec storedEntry(const std::string& name, const std::string& content) {
    return ZipEntrySpec{name, content, 0, content.size(), crcOf(content), 0};
}

ZipEntrySpec deflatedEntry(const std::string& name, const std::string& content) {
    // Stored deflate blocks of at most 65535 bytes; the last one says so.
    std::string data;
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(content.size() - at, 0xffff);
        const bool last = at + n == content.size();
        data += static_cast<char>(last ? 1 : 0);
        append(data, n, 2);
        append(data, ~n & 0xffff, 2);
        data.append(content, at, n);
        at += n;
    } while (at < content.size());
    return ZipEntrySpec{name, data, 8, content.size(), crcOf(content), 0};
}

std::string makeZip(const std::vector<ZipEntrySpec>& entries, const ZipLayout& layout) {
    const uint64_t wide = layout.zip64 ? 0xffffffff : 0;
    std::string zip;
    std::string central;
    for (const ZipEntrySpec& e : entries) {
        const uint64_t offset = zip.size();
        append(zip, 0x04034b50, 4);
        append(zip, 20, 2);
        append(zip, e.flags, 2);
        append(zip, e.method, 2);
        append(zip, 0, 4); // time and date
        append(zip, e.crc, 4);
        append(zip, wide ? wide : e.data.size(), 4);
        append(zip, wide ? wide : e.size, 4);
        append(zip, e.name.size(), 2);
        append(zip, 0, 2);
        zip += e.name + e.data;

        std::string extra;
        if (layout.zip64) {
            append(extra, 1, 2);
            append(extra, 24, 2);
            append(extra, e.size, 8);
            append(extra, e.data.size(), 8);
            append(extra, offset, 8);
        }
        append(central, 0x02014b50, 4);
        append(central, 0x031e, 2); // made by: Unix
        append(central, layout.zip64 ? 45 : 20, 2);
        append(central, e.flags, 2);
        append(central, e.method, 2);
        append(central, 0, 4);
        append(central, e.crc, 4);
        append(central, wide ? wide : e.data.size(), 4);
        append(central, wide ? wide : e.size, 4);
        append(central, e.name.size(), 2);
        append(central, extra.size(), 2);
        append(central, 0, 2); // comment
        append(central, 0, 2); // disk
        append(central, 0, 2); // internal attributes
        append(central, 0, 4); // external attributes
        append(central, wide ? wide : offset, 4);
        central += e.name + extra;
    }
    const uint64_t centralOffset = zip.size();
    zip += central;
    if (layout.zip64) {
        const uint64_t end64 = zip.size();
        append(zip, 0x06064b50, 4);
        append(zip, 44, 8);
        append(zip, 45, 2);
        append(zip, 45, 2);
        append(zip, 0, 4);
        append(zip, 0, 4);
        append(zip, entries.size(), 8);
        append(zip, entries.size(), 8);
        append(zip, central.size(), 8);
        append(zip, centralOffset, 8);
        append(zip, 0x07064b50, 4);
        append(zip, 0, 4);
        append(zip, layout.prefix.size() + end64, 8);
        append(zip, 1, 4);
    }
    append(zip, 0x06054b50, 4);
    append(zip, 0, 4);
    append(zip, layout.zip64 ? 0xffff : entries.size(), 2);
    append(zip, layout.zip64 ? 0xffff : entries.size(), 2);
    append(zip, wide ? wide : central.size(), 4);
    append(zip, wide ? wide : centralOffset, 4);
    append(zip, layout.comment.size(), 2);
    return layout.prefix + zip + layout.comment;
}

void writeJar(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& files,
              const std::string& manifest) {
    std::vector<ZipEntrySpec> entries;
    if (!manifest.empty()) {
        entries.push_back(deflatedEntry("META-INF/MANIFEST.MF", manifest));
    }
    for (const auto& f : files) {
        entries.push_back(deflatedEntry(f.first, f.second));
    }
    writeFile(path, makeZip(entries));
}

std::string compileExampleModule(const std::string& javaHome, const std::string& dir,
                                 const std::string& classesDir, const std::string& plainJar,
                                 const std::string& mainJar) {
    const std::string info = dir + "/src/module-info.java";
    const std::string main = dir + "/src/com/example/Main.java";
    writeFile(info, "module com.example.app { exports com.example; }\n");
    writeFile(
        main,
        "package com.example; public class Main { public static void main(String[] a) {} }\n");
    const std::string compiled = compileJar(javaHome, {info, main}, classesDir, plainJar);
    if (!compiled.empty()) {
        return compiled;
    }
    const Outcome jar = run(
        javaHome + "/bin/jar",
        {"--create", "--file", mainJar, "--main-class", "com.example.Main", "-C", classesDir, "."},
        baseEnv());
    return jar.status == 0 ? std::string() : "jar: " + jar.err;
}

size_t signatureAt(const std::string& zip, uint32_t signature, size_t from) {
    std::string s;
    append(s, signature, 4);
    const size_t at = zip.find(s, from);
    EXPECT_NE(std::string::npos, at) << "no signature " << std::hex << signature;
    return at;
}

void putLittleEndian(std::string& s, size_t pos, uint64_t v, size_t n) {
    for (size_t i = 0; i != n; ++i) {
        s[pos + i] = static_cast<char>(v >> (8 * i) & 0xff);
    }
}
