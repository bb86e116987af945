#include <gtest/gtest.h>

#include <string>

#include "JarManifest.h"
#include "TestUtils.h"
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
    TempDir tmp;
    const auto readBytes = [&](const std::string& jar) {
        writeFile(tmp / "a.jar", jar);
        return JarManifest::read(tmp / "a.jar");
    };
    for (const auto& c : cases) {
        const std::vector<std::string> urls = JarManifest::classPath(readBytes(c.jar));
        std::string got;
        for (const std::string& url : urls) {
            got += (got.empty() ? "" : "|") + url;
        }
        EXPECT_EQ(c.want, got) << c.jar;
    }
    // A manifest whose recorded checksum is wrong is not read.
    ZipEntrySpec damaged = storedEntry("META-INF/MANIFEST.MF", plain);
    damaged.crc ^= 1;
    EXPECT_TRUE(readBytes(makeZip({damaged})).empty());
}

TEST(JarManifestTest, ClassPathFilesAsTheRuntimeOpensThem) {
    TempDir tmp;
    const struct {
        std::string url;
        std::string want; // relative to the jar's directory where it does not start with "/"
    } cases[] = {
        {"a.jar", "a.jar"},
        {"my%20lib.jar", "my lib.jar"},
        {"lib/%C3%A9t%c3%a9.jar", "lib/\xC3\xA9t\xC3\xA9.jar"},
        {"file:/opt/x.jar", "/opt/x.jar"},
        {"file:///opt/y%2Cz.jar", "/opt/y,z.jar"},
        {"/opt/abs.jar", "/opt/abs.jar"},
        {"http://example.com/z.jar", ""},
        {"bad%2.jar", ""},
        {"bad%zz.jar", ""},
    };
    for (const auto& c : cases) {
        writeJar(tmp / "app.jar", {{"a/B.class", ""}}, "Class-Path: " + c.url + "\n");
        const std::vector<std::string> files = JarManifest::classPathFiles(tmp / "app.jar");
        const std::string want = c.want.empty()     ? ""
                                 : c.want[0] == '/' ? c.want
                                                    : tmp.path() + "/" + c.want;
        EXPECT_EQ(want, files.empty() ? "" : files[0]) << c.url;
    }
}

} // namespace
