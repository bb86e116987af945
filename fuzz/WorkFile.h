#ifndef FUZZ_WORKFILE_H
#define FUZZ_WORKFILE_H

// The file a fuzzer gives each input to a reader of files through; removed at the end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

class WorkFile {
public:
    WorkFile() : path(make()) {}
    ~WorkFile() { std::remove(path.c_str()); }

    // Replaces the file's content with the size bytes at data; aborts where it cannot.
    void write(const uint8_t* data, size_t size) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
            std::perror("writing the work file");
            std::abort();
        }
    }

    const std::string path;

private:
    static std::string make() {
        // The file is rewritten for every input: prefer a memory file system where there is one.
        const char* base = std::getenv("TMPDIR");
        if (!base || !*base) {
            base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        }
        std::string templ = std::string(base) + "/fuzz-XXXXXX";
        const int fd = ::mkstemp(&templ[0]);
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        ::close(fd);
        return templ;
    }
};

#endif // FUZZ_WORKFILE_H
