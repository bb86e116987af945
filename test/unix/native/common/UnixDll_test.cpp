#include <gtest/gtest.h>

#include <dlfcn.h>
#include <memory>
#include <string>

#include "Dll.h"
#include "ErrorHandling.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"

namespace {

typedef int (*JliLaunchFunc)(int, char**, int, const char**, int, const char**, const char*,
                             const char*, const char*, const char*, int, int, int, int);

TEST(UnixDllTest, OpenFailuresCarryTheLoaderExplanation) {
    TempDir tmp;
    const std::string text = tmp / "libtext.so";
    writeFile(text, "plain text, not a library\n");
    const std::string cases[] = {tmp / "missing.so", text, tmp.path()};
    for (const std::string& path : cases) {
        const std::string want = "dlopen(" + path + ") failed. Error: " + dlopenError(path);
        EXPECT_EQ(want, errorOf([&] { Dll dll(path); }, "UnixDll.cpp", "loadLibrary")) << path;
    }
}

TEST(UnixDllTest, Lookups) {
    const Dll dll(tstrings::any() << FAKEJLI_PATH);
    EXPECT_EQ(FAKEJLI_PATH, dll.path());
    void* own = ::dlopen(FAKEJLI_PATH, RTLD_LAZY);
    ASSERT_NE(nullptr, own);
    EXPECT_EQ(::dlsym(own, "JLI_Launch"), dll.getFunction("JLI_Launch", true));
    EXPECT_EQ(::dlsym(own, "JLI_Launch"), dll.getFunction("JLI_Launch", false));
    ::dlclose(own);

    EXPECT_EQ(nullptr, dll.getFunction("noSuchFunction", false));
    EXPECT_EQ(nullptr, dll.getFunction("", false));

    const std::string want =
        std::string("dlsym(") + FAKEJLI_PATH +
        ", noSuchFunction) failed. Error: " + dlsymError(FAKEJLI_PATH, "noSuchFunction");
    EXPECT_EQ(want, errorOf([&] { dll.getFunction("noSuchFunction", true); }, "UnixDll.cpp",
                            "getFunction"));
}

#if defined(__ELF__)
TEST(UnixDllTest, SymbolAtAddressZeroWithoutLoaderText) {
    // The loader finds the symbol, so it reports no error text; its address is still null.
    const Dll dll(NOJLI_PATH);
    EXPECT_EQ(nullptr, dll.getFunction("zeroSymbol", false));
    // A stale loader error from an earlier call must not end up in the message.
    EXPECT_EQ(nullptr, ::dlopen("/nonexistent/stale.so", RTLD_LAZY));
    EXPECT_EQ(std::string("dlsym(") + NOJLI_PATH + ", zeroSymbol) failed. Error: ",
              errorOf([&] { dll.getFunction("zeroSymbol", true); }, "UnixDll.cpp", "getFunction"));
}
#endif

TEST(UnixDllTest, EveryCopyOwnsItsOwnHandle) {
    ASSERT_FALSE(isLoaded(FAKEJLI_PATH));
    std::unique_ptr<Dll> original(new Dll(FAKEJLI_PATH));
    std::unique_ptr<Dll> copy(new Dll(*original));
    EXPECT_EQ(original->path(), copy->path());
    original.reset();
    EXPECT_TRUE(isLoaded(FAKEJLI_PATH)) << "the copy's own handle keeps the library";
    EXPECT_NE(nullptr, copy->getFunction("JLI_Launch", true));
    copy.reset();
    EXPECT_FALSE(isLoaded(FAKEJLI_PATH)) << "every handle is closed";
}

TEST(UnixDllTest, FunctionOutlivesTheLibraryItCameFrom) {
    EnvGuard record("FAKEJLI_RECORD");
    EnvGuard result("FAKEJLI_RESULT", "7");
    std::unique_ptr<Dll> dll(new Dll(FAKEJLI_PATH));
    std::unique_ptr<DllFunction<void*>> func(new DllFunction<void*>(*dll, "JLI_Launch"));
    dll.reset();
    ASSERT_TRUE(isLoaded(FAKEJLI_PATH));
    const JliLaunchFunc launch = reinterpret_cast<JliLaunchFunc>(static_cast<void*>(*func));
    EXPECT_EQ(7, launch(0, nullptr, 0, nullptr, 0, nullptr, "", "", "java", "java", 0, 0, 0, 0));
    func.reset();
    EXPECT_FALSE(isLoaded(FAKEJLI_PATH));
}

TEST(UnixDllTest, FailedFunctionLookupLeavesNothingOpen) {
    {
        const Dll dll(NOJLI_PATH);
        EXPECT_EQ(std::string("dlsym(") + NOJLI_PATH +
                      ", JLI_Launch) failed. Error: " + dlsymError(NOJLI_PATH, "JLI_Launch"),
                  errorOf(
                      [&] {
                          DllFunction<void*> f(dll, tstrings::any() << "JLI_"
                                                                    << "Launch");
                      },
                      "UnixDll.cpp", "getFunction"));
    }
    EXPECT_FALSE(isLoaded(NOJLI_PATH));
}

} // namespace
