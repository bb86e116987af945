#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleInfo.h"
#include "ProcessUtils.h"
#include "TestUtils.h"
#include "ZipFile.h"
#include "ZipTestUtils.h"

namespace {

// A module-info.class put together byte by byte, with a constant of every kind in its pool.
struct ClassFile {
    uint32_t major = 69;
    uint32_t accessFlags = 0x8000;
    std::string thisClassName = "module-info";
    uint32_t moduleIndex = 19; // the constant the Module attribute names
    bool moduleAttribute = true;
    bool mainClassAttribute = true;
    uint8_t extraTag = 0; // a constant of this tag, with 4 bytes, at the end of the pool
    bool fieldWithAttribute = false;
    uint32_t attributeLengthExtra = 0;

    std::string bytes() const {
        std::string b;
        const auto u1 = [&b](uint32_t v) { b += static_cast<char>(v & 0xff); };
        const auto u2 = [&](uint32_t v) { u1(v >> 8), u1(v); };
        const auto u4 = [&](uint32_t v) { u2(v >> 16), u2(v); };
        const auto utf8 = [&](const std::string& s) { u1(1), u2(s.size()), b += s; };
        u4(0xcafebabe);
        u2(0);
        u2(major);
        u2(extraTag ? 27 : 26);
        utf8(thisClassName);      // 1
        u1(7), u2(1);             // 2 Class
        u1(3), u4(42);            // 3 Integer
        u1(4), u4(0);             // 4 Float
        u1(5), u4(0), u4(1);      // 5 Long, and 6
        u1(6), u4(0), u4(2);      // 7 Double, and 8
        u1(8), u2(1);             // 9 String
        u1(9), u2(2), u2(13);     // 10 Fieldref
        u1(10), u2(2), u2(13);    // 11 Methodref
        u1(11), u2(2), u2(13);    // 12 InterfaceMethodref
        u1(12), u2(1), u2(1);     // 13 NameAndType
        u1(15), u1(6), u2(10);    // 14 MethodHandle
        u1(16), u2(1);            // 15 MethodType
        u1(17), u2(0), u2(13);    // 16 Dynamic
        u1(18), u2(0), u2(13);    // 17 InvokeDynamic
        utf8("com.example.app");  // 18
        u1(19), u2(18);           // 19 Module
        utf8("com/example");      // 20
        u1(20), u2(20);           // 21 Package
        utf8("Module");           // 22
        utf8("ModuleMainClass");  // 23
        utf8("com/example/Main"); // 24
        u1(7), u2(24);            // 25 Class
        if (extraTag) {
            u1(extraTag), u4(0); // 26
        }
        u2(accessFlags);
        u2(2); // this class
        u2(0);
        u2(0); // interfaces
        u2(fieldWithAttribute ? 1 : 0);
        if (fieldWithAttribute) {
            u2(0), u2(1), u2(1), u2(1); // flags, name, descriptor, one attribute
            u2(22), u4(3), u1(1), u1(2), u1(3);
        }
        u2(0); // methods
        u2((moduleAttribute ? 1 : 0) + (mainClassAttribute ? 1 : 0));
        if (moduleAttribute) {
            u2(22), u4(16 + attributeLengthExtra);
            u2(moduleIndex), u2(0), u2(0), u2(0), u2(0), u2(0), u2(0), u2(0);
        }
        if (mainClassAttribute) {
            u2(23), u4(2), u2(25);
        }
        return b;
    }
};

ClassFile with(void (*change)(ClassFile&)) {
    ClassFile c;
    change(c);
    return c;
}

TEST(ModuleInfoTest, WalksEveryKindOfConstant) {
    const struct {
        const char* what;
        ClassFile file;
        bool ok;
        std::string mainClass;
    } cases[] = {
        {"every constant", ClassFile(), true, "com.example.Main"},
        {"no main class", with([](ClassFile& c) { c.mainClassAttribute = false; }), true, ""},
        {"a field with an attribute", with([](ClassFile& c) { c.fieldWithAttribute = true; }), true,
         "com.example.Main"},
        {"Java 9", with([](ClassFile& c) { c.major = 53; }), true, "com.example.Main"},
        {"Java 8", with([](ClassFile& c) { c.major = 52; }), false, ""},
        {"not a module", with([](ClassFile& c) { c.accessFlags = 0x21; }), false, ""},
        {"another class", with([](ClassFile& c) { c.thisClassName = "Main"; }), false, ""},
        {"no Module attribute", with([](ClassFile& c) { c.moduleAttribute = false; }), false, ""},
        {"module name from a Utf8", with([](ClassFile& c) { c.moduleIndex = 18; }), false, ""},
        {"module name from the slot after a long", with([](ClassFile& c) { c.moduleIndex = 6; }),
         false, ""},
        {"module name past the pool", with([](ClassFile& c) { c.moduleIndex = 999; }), false, ""},
        {"unknown constant tag 2", with([](ClassFile& c) { c.extraTag = 2; }), false, ""},
        {"unknown constant tag 21", with([](ClassFile& c) { c.extraTag = 21; }), false, ""},
        {"attribute past the end", with([](ClassFile& c) { c.attributeLengthExtra = 1000; }), false,
         ""},
    };
    for (const auto& c : cases) {
        ModuleInfo info;
        info.name = "old";
        EXPECT_EQ(c.ok, ModuleInfo::parse(c.file.bytes(), info)) << c.what;
        EXPECT_EQ(c.ok ? "com.example.app" : "", info.name) << c.what;
        EXPECT_EQ(c.mainClass, info.mainClass) << c.what;
    }
    // Cut anywhere, it is refused.
    const std::string whole = ClassFile().bytes();
    for (size_t n = 0; n < whole.size(); ++n) {
        ModuleInfo info;
        EXPECT_FALSE(ModuleInfo::parse(whole.substr(0, n), info)) << n;
    }
}

TEST(ModuleInfoTest, ReadsWhatJavacAndJarWrite) {
    const std::string javaHome = installedJavaHome();
    if (javaHome.empty()) {
        GTEST_SKIP() << "no JDK (JAVA_HOME or java on PATH)";
    }
    TempDir tmp;
    ASSERT_EQ("", compileExampleModule(javaHome, tmp.path(), tmp / "classes", tmp / "plain.jar",
                                       tmp / "main.jar"));

    const struct {
        std::string jar;
        std::string mainClass;
    } cases[] = {{tmp / "plain.jar", ""}, {tmp / "main.jar", "com.example.Main"}};
    for (const auto& c : cases) {
        ZipFile zip;
        ASSERT_TRUE(zip.open(c.jar)) << zip.error();
        std::string bytes;
        ASSERT_TRUE(zip.read("module-info.class", bytes, ModuleInfo::kMaxSize));
        ModuleInfo info;
        EXPECT_TRUE(ModuleInfo::parse(bytes, info)) << c.jar;
        EXPECT_EQ("com.example.app", info.name) << c.jar;
        EXPECT_EQ(c.mainClass, info.mainClass) << c.jar;
        ASSERT_TRUE(zip.read("com/example/Main.class", bytes, ModuleInfo::kMaxSize));
        EXPECT_FALSE(ModuleInfo::parse(bytes, info)) << "a plain class";
        EXPECT_EQ("", info.name);
    }
}

} // namespace
