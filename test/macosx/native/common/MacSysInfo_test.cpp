#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mach-o/dyld.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ErrorHandling.h"
#include "SysInfo.h"
#include "TestUtils.h"
#include "UnitTestUtils.h"

namespace {

std::vector<char> terminated(const std::string& s) {
    std::vector<char> v(s.begin(), s.end());
    v.push_back('\0');
    return v;
}

void makeLink(const std::string& target, const std::string& link) {
    ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str())) << link << ": " << std::strerror(errno);
}

// A link target of exactly n bytes that leads to "end" through "./" steps.
std::string longTarget(size_t n, const std::string& end) {
    std::string t;
    while (t.size() + 2 + end.size() <= n) {
        t += "./";
    }
    t += std::string(n - t.size() - end.size(), '/');
    return t + end;
}

// Starts program as execPath (the shell passes a path with a slash on unchanged) from the
// directory cwd; returns its output, or the failure as text.
std::string runFrom(const std::string& cwd, const std::string& execPath) {
    std::FILE* p = ::popen(("cd '" + cwd + "' && exec '" + execPath + "' 2>&1").c_str(), "r");
    std::string out;
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) {
        out.append(buf, n);
    }
    const int status = p ? ::pclose(p) : -1;
    return status == 0 ? out : "failed (" + std::to_string(status) + "): " + out;
}

// The path with every link resolved, as the system sees it.
std::string physical(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    const std::string result = real ? real : "(realpath failed: " + path + ")";
    std::free(real);
    return result;
}

TEST(MacSysInfoTest, CommandArgsDropOnlyTheProcessSerialNumber) {
    struct Case {
        std::vector<std::string> argv;
        int mode;
        std::vector<std::string> want;
    };
    const int in = SysInfo::IncludeProgramName;
    const int ex = SysInfo::ExcludeProgramName;
    const Case cases[] = {
        {{"prog"}, ex, {}},
        {{"prog"}, in, {"prog"}},
        {{}, ex, {}},
        {{}, in, {}},
        {{"prog", "a", "", "b c"}, ex, {"a", "", "b c"}},
        {{"prog", "-psn_0_12345", "a"}, ex, {"a"}},
        {{"prog", "-psn_", "-PSN_0_1", "-psn", "x-psn_1", " -psn_1"},
         ex,
         {"-PSN_0_1", "-psn", "x-psn_1", " -psn_1"}},
        {{"-psn_0_1", "a"}, in, {"a"}},
        {{"prog", "a"}, 7, {"prog", "a"}},
    };
    for (const Case& c : cases) {
        ArgvGuard guard(c.argv);
        EXPECT_EQ(c.want,
                  SysInfo::getCommandArgs(static_cast<SysInfo::CommandArgProgramNameMode>(c.mode)))
            << c.argv.size() << " arguments, mode " << c.mode;
    }
}

TEST(MacSysInfoTest, RealPathResolvesOneLevelOfLink) {
    TempDir tmp;
    const std::string file = tmp / "file";
    writeFile(file, "x");
    makeLink(file, tmp / "absolute");
    makeLink("../elsewhere/target", tmp / "relative");
    makeLink("absolute", tmp / "chain");
    makeLink("dangling/nothing", tmp / "dangling");
    struct Case {
        std::string path;
        std::string target; // what the link holds, "" for no link
        std::string want;
    };
    std::vector<Case> cases = {
        {file, "", file},
        {tmp.path(), "", tmp.path()},
        {tmp / "absolute", "", file},
        {tmp / "relative", "", "../elsewhere/target"},
        {tmp / "chain", "", "absolute"},
        {tmp / "dangling", "", "dangling/nothing"},
    };
    // Targets around and well beyond the first guess of the buffer size.
    for (size_t n : {1023, 1024, 1025, 2048, 4000}) {
        const std::string target = longTarget(n, "file");
        cases.push_back({tmp / ("long" + std::to_string(n)), target, target});
    }
    for (const Case& c : cases) {
        if (!c.target.empty()) {
            makeLink(c.target, c.path);
        }
        const std::string got = SysInfo::getRealPath(terminated(c.path));
        EXPECT_EQ(c.want.size(), got.size()) << c.path;
        EXPECT_TRUE(c.want == got) << c.path << " gave " << got.substr(0, 80);
    }

    // A buffer larger than the path holds more than one NUL; the path ends at the first.
    std::vector<char> generous = terminated(file);
    generous.resize(generous.size() + 16, '\0');
    EXPECT_EQ(file, SysInfo::getRealPath(generous));

    EXPECT_EQ("lstat(" + tmp / "missing" + ") failed. Error: " + std::strerror(ENOENT),
              errorOf([&] { SysInfo::getRealPath(terminated(tmp / "missing")); }, "MacSysInfo.cpp",
                      "getRealPath"));
}

TEST(MacSysInfoTest, FollowLinksTakesTheWholeChainOfTheLastComponent) {
    TempDir tmp;
    const std::string file = tmp / "c/file";
    writeFile(file, "x");
    makeDirs(tmp / "a");
    makeDirs(tmp / "b");
    makeDirs(tmp / "d/d");
    makeLink(file, tmp / "a/absolute");
    makeLink("../c/file", tmp / "b/relative");
    // A relative link whose target reads like the path it is reached by.
    makeLink("d/same", tmp / "d/same");
    makeLink("../../c/file", tmp / "d/d/same");
    // /usr/local/bin/app -> /opt/bin/app -> Name.app/Contents/MacOS/Name, in short.
    makeLink(tmp / "b/second", tmp / "a/first");
    makeLink("../b/relative", tmp / "b/second");
    // A link among the directories is the system's business; only the last component counts.
    makeLink("../c", tmp / "b/up");
    makeLink("to/nowhere", tmp / "dangling");
    // Well within any system's limit.
    makeLink(file, tmp / "chain0");
    for (int i = 1; i < 16; ++i) {
        makeLink("chain" + std::to_string(i - 1), tmp / ("chain" + std::to_string(i)));
    }
    struct Case {
        std::string path;
        std::string want;
    };
    const Case cases[] = {
        {file, file},
        {tmp / "a/absolute", file},
        {tmp / "b/relative", tmp / "b/../c/file"},
        {tmp / "d/same", tmp / "d/d/../../c/file"},
        {tmp / "a/first", tmp / "b/../b/../c/file"},
        {tmp / "b/up/file", tmp / "b/up/file"},
        {tmp / "chain15", file},
        {tmp / "dangling", tmp / "to/nowhere"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.want, SysInfo::followLinks(c.path)) << c.path;
    }

    EXPECT_EQ(
        "lstat(" + tmp / "missing" + ") failed. Error: " + std::strerror(ENOENT),
        errorOf([&] { SysInfo::followLinks(tmp / "missing"); }, "MacSysInfo.cpp", "getRealPath"));

    // A loop ends with one error, however it closes.
    makeLink("self", tmp / "self");
    makeLink(tmp / "pong", tmp / "ping");
    makeLink("ping", tmp / "pong");
    for (const std::string& loop : {tmp / "self", tmp / "ping", tmp / "pong"}) {
        EXPECT_EQ("Failed to resolve \"" + loop + "\" link: " + std::strerror(ELOOP),
                  errorOf([&] { SysInfo::followLinks(loop); }, "MacSysInfo.cpp", "followLinks"));
    }
}

TEST(MacSysInfoTest, ExecutablePathSizeNegotiation) {
    uint32_t size = 0;
    ASSERT_EQ(-1, _NSGetExecutablePath(nullptr, &size));
    ASSERT_GT(size, 1u);
    const uint32_t needed = size;
    struct Case {
        uint32_t bufferSize;
        int wantResult;
    };
    const Case cases[] = {{0, -1}, {1, -1}, {needed - 1, -1}, {needed, 0}, {needed + 50, 0}};
    for (const Case& c : cases) {
        std::vector<char> buf(c.bufferSize + 1, 'z');
        size = c.bufferSize;
        EXPECT_EQ(c.wantResult, _NSGetExecutablePath(buf.data(), &size)) << c.bufferSize;
        if (c.wantResult == 0) {
            EXPECT_EQ(needed - 1, std::strlen(buf.data())) << c.bufferSize;
        } else {
            EXPECT_EQ(needed, size) << c.bufferSize;
            EXPECT_EQ(std::string(c.bufferSize + 1, 'z'), std::string(buf.begin(), buf.end()))
                << c.bufferSize << ": nothing may be written";
        }
    }
#ifdef __linux__
    // The path names this very program.
    std::vector<char> buf(needed);
    size = needed;
    ASSERT_EQ(0, _NSGetExecutablePath(buf.data(), &size));
    char* mine = ::realpath(buf.data(), nullptr);
    char* proc = ::realpath("/proc/self/exe", nullptr);
    ASSERT_NE(nullptr, mine);
    ASSERT_NE(nullptr, proc);
    EXPECT_EQ(std::string(proc), std::string(mine));
    std::free(mine);
    std::free(proc);
#endif
}

TEST(MacSysInfoTest, ModulePathAsStartedThroughLinks) {
    TempDir tmp;
    const std::string probe = MODULE_PATH_PROBE;
    const std::string probeDir = probe.substr(0, probe.find_last_of('/'));
    const std::string probeName = probe.substr(probe.find_last_of('/') + 1);
    makeDirs(tmp / "bin");
    makeDirs(tmp / "real");
    makeLink(probe, tmp / "real/probe");
    makeLink("../real/probe", tmp / "bin/tool");
    const std::string longRelative = longTarget(1500, "../real/probe");
    makeLink(longRelative, tmp / "bin/long");
    // A relative target that reads like the path the program is started by.
    makeDirs(tmp / "bin/bin");
    makeLink("bin/same", tmp / "bin/same");
    makeLink(probe, tmp / "bin/bin/same");

    struct Case {
        std::string cwd;
        std::string execPath;
        std::string want;
    };
    const Case cases[] = {
        {probeDir, probe, probe},
        {probeDir, "./" + probeName, physical(probe)},
        {tmp.path(), "real/probe", probe},
        // A relative target counts from the link's directory, whatever the working directory,
        // and a target that is a link again is followed too.
        {tmp.path(), "bin/tool", probe},
        {tmp / "bin", "./tool", probe},
        {tmp / "real", tmp / "bin/tool", probe},
        {probeDir, tmp / "bin/tool", probe},
        {tmp.path(), "bin/long", probe},
        {tmp.path(), "bin/same", probe},
        {tmp / "bin", tmp / "bin/same", probe},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.want + "\n", runFrom(c.cwd, c.execPath)) << c.cwd << " " << c.execPath;
    }
}

// Started through "." or "..", the path is resolved as the system resolved it, so that its
// parents are the bundle's directories; any other path keeps the form it was started by.
TEST(MacSysInfoTest, ModulePathResolvesDotComponentsAndOnlyThem) {
    TempDir tmp;
    makeDirs(tmp / "A.app/Contents/MacOS");
    const std::string exe = tmp / "A.app/Contents/MacOS/A";
    writeFile(exe, readFile(MODULE_PATH_PROBE));
    ASSERT_EQ(0, ::chmod(exe.c_str(), 0755));
    const std::string resolved = physical(exe);
    makeLink("../MacOS/./A", tmp / "A.app/Contents/MacOS/dotted");
    makeLink("A.app", tmp / "linked.app");
    makeLink("A.app", tmp / "...");
    // ".." after a link to a directory leaves the directory the link points to.
    makeDirs(tmp / "elsewhere");
    makeLink(tmp / "A.app/Contents/MacOS", tmp / "elsewhere/macos");

    struct Case {
        std::string cwd;
        std::string execPath;
        std::string want;
    };
    const Case cases[] = {
        {tmp / "A.app/Contents/MacOS", "../MacOS/A", resolved},
        {tmp / "A.app/Contents/MacOS", "./A", resolved},
        {tmp / "A.app/Contents", "./MacOS/../../../A.app/Contents/MacOS/A", resolved},
        {tmp.path(), tmp / "A.app/Contents/MacOS/dotted", resolved},
        {tmp.path(), "elsewhere/macos/../MacOS/A", resolved},
        {tmp.path(), "A.app//Contents/MacOS/A", tmp / "A.app//Contents/MacOS/A"},
        {tmp.path(), "linked.app/Contents/MacOS/A", tmp / "linked.app/Contents/MacOS/A"},
        {tmp.path(), ".../Contents/MacOS/A", tmp / ".../Contents/MacOS/A"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.want + "\n", runFrom(c.cwd, c.execPath)) << c.cwd << " " << c.execPath;
    }

    makeLink("../nowhere/A", tmp / "dangling");
    EXPECT_EQ("realpath(" + tmp / "../nowhere/A" + ") failed. Error: " + std::strerror(ENOENT),
              errorOf([&] { SysInfo::resolveExecutablePath(tmp / "dangling"); }, "MacSysInfo.cpp",
                      "resolveExecutablePath"));
}

// A chain of links as long as the kernel follows when it starts a program is followed too, and
// one link more is refused by both.
TEST(MacSysInfoTest, LinkChainAsLongAsTheKernelStartsProgramsThrough) {
#ifdef __APPLE__
    const int kernelLimit = 32;
#else
    const int kernelLimit = 40;
#endif
    TempDir tmp;
    const std::string probe = MODULE_PATH_PROBE;
    makeLink(probe, tmp / "link1");
    for (int i = 2; i <= kernelLimit + 1; ++i) {
        makeLink("link" + std::to_string(i - 1), tmp / ("link" + std::to_string(i)));
    }
    const std::string longest = tmp / ("link" + std::to_string(kernelLimit));
    const std::string tooLong = tmp / ("link" + std::to_string(kernelLimit + 1));

    EXPECT_EQ(probe, SysInfo::followLinks(longest));
    EXPECT_EQ(probe + "\n", runFrom(tmp.path(), longest));
    EXPECT_EQ("Failed to resolve \"" + tooLong + "\" link: " + std::strerror(ELOOP),
              errorOf([&] { SysInfo::followLinks(tooLong); }, "MacSysInfo.cpp", "followLinks"));
    EXPECT_EQ(0u, runFrom(tmp.path(), tooLong).rfind("failed", 0)) << "the system started it";
}

} // namespace
