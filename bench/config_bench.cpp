// Loading and expanding configuration files must take time linear in their size: compare the
// per-byte rates of each pair (10k vs 100k values, 1 MB vs 10 MB line).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "CfgFile.h"
#include "Log.h"

namespace {

NopLogAppender quietAppender;

// A temporary file holding content, removed at destruction.
class TempFile {
public:
    explicit TempFile(const std::string& content) {
        const char* base = std::getenv("TMPDIR");
        path = std::string(base && *base ? base : "/tmp") + "/config-bench-XXXXXX";
        const int fd = ::mkstemp(&path[0]);
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        ::close(fd);
        std::ofstream(path, std::ios::binary) << content;
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

// n values spread over the five sections, half of them with references and escapes.
std::string manyValues(int n) {
    // One property for each entry of SectionName::all.
    static const char* const properties[] = {"java-options", "java-options", "app.classpath",
                                             "arguments", "java-options"};
    std::string out;
    for (int s = 0; s < 5; ++s) {
        out += std::string("[") + SectionName::all[s]->name() + "]\n";
        for (int i = s; i < n; i += 5) {
            out += std::string(properties[s]) + "=";
            out += (i % 2) ? "$APPDIR/lib/item" + std::to_string(i) + ".jar:${BINDIR}\\$x\n"
                           : "/usr/lib/plain/item" + std::to_string(i) + ".jar\n";
        }
    }
    return out;
}

// One value of about `bytes` bytes made of references, escapes and text.
std::string oneLongLine(size_t bytes) {
    static const std::string piece = "$APPDIR/a.jar:${BINDIR}/b\\$c:plain/text/d.jar:";
    std::string out = "[ArgOptions]\narguments=";
    out.reserve(bytes + piece.size() + 32);
    while (out.size() < bytes) {
        out += piece;
    }
    out += "\n";
    return out;
}

const CfgFile::Macros macros = {{"APPDIR", "/opt/app/Contents/app"},
                                {"BINDIR", "/opt/app/Contents/MacOS"},
                                {"ROOTDIR", "/opt/app"}};

void run(benchmark::State& state, const std::string& content) {
    Logger::defaultLogger().setAppender(quietAppender);
    const TempFile file(content);
    for (auto _ : state) {
        const CfgFile expanded = CfgFile::load(file.path).expandMacros(macros);
        benchmark::DoNotOptimize(&expanded);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(content.size()));
}

void BM_ManyValues(benchmark::State& state) {
    run(state, manyValues(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ManyValues)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LongLine(benchmark::State& state) {
    run(state, oneLongLine(static_cast<size_t>(state.range(0))));
}
BENCHMARK(BM_LongLine)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

// The densest token stream: a reference or an escape every two bytes.
void BM_DenseReferences(benchmark::State& state) {
    std::string line = "[ArgOptions]\narguments=";
    while (line.size() < static_cast<size_t>(state.range(0))) {
        line += "$A\\$B${}";
    }
    run(state, line + "\n");
}
BENCHMARK(BM_DenseReferences)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
