#include <gtest/gtest.h>

#include <string>

#include "JarManifest.h"
#include "ZipTestUtils.h"

namespace {

TEST(JarManifestTest, ClassPathAsTheRuntimeReadsIt) {
    const std::string plain = "Manifest-Version: 1.0\r\nClass-Path: a.jar  lib/b.jar\r\n\r\n";
    const struct {
        std::string jar;
        std::string want; // the Class-Path URLs joined by "|"
    } cases[] = {
        {makeZip({storedEntry("META-INF/MANIFEST.MF", plain)}), "a.jar|lib/b.jar"},
        {makeZip({deflatedEntry("META-INF/MANIFEST.MF", plain)}), "a.jar|lib/b.jar"},
        {makeZip({storedEntry("META-INF/MANIFEST.MF", plain)}, ZipLayout{"#!/bin/sh\n", "", false}),
         "a.jar|lib/b.jar"},
        // Names in any case, a value continued, the main section only, a last line unended.
        {makeZip({storedEntry("META-INF/MANIFEST.MF",
                              "class-path: /usr/share/java/a.j\r\n ar ../b.jar\rMain-Class: M\n\n"
                              "Class-Path: c.jar\nX: y")}),
         "/usr/share/java/a.jar|../b.jar"},
        // Of two entries with the name, the last counts.
        {makeZip({storedEntry("META-INF/MANIFEST.MF", plain),
                  storedEntry("META-INF/MANIFEST.MF", "Class-Path: c.jar\n")}),
         "c.jar"},
        {makeZip({storedEntry("a/B.class", "")}), ""},
        {"not a zip", ""},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> urls = JarManifest::classPath(JarManifest::readBytes(c.jar));
        std::string got;
        for (const std::string& url : urls) {
            got += (got.empty() ? "" : "|") + url;
        }
        EXPECT_EQ(c.want, got) << c.jar;
    }
    // A manifest whose recorded checksum is wrong is not read.
    ZipEntrySpec damaged = storedEntry("META-INF/MANIFEST.MF", plain);
    damaged.crc ^= 1;
    EXPECT_TRUE(JarManifest::readBytes(makeZip({damaged})).empty());
}

} // namespace
