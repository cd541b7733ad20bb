// SPDX-License-Identifier: GPL-3.0-or-later
// Builds a library of 100,000 records (about 60 MB) in a scratch folder and times
// the main window's listing pass (every mask and every name), a pass with a filter
// that lists a tenth of the records, and one plain sequential read of the file (the
// floor). Each figure is the best of several runs, with the file in the page cache.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/benchlibrary.h"
#include "library/fileio.h"
#include "voice/dumpcodec.h"

namespace {

constexpr int recordCount = 100000;
constexpr int runs = 9;
constexpr uint32_t filter = 0x0002;   // "Brass": every tenth record carries it

double bestOf(const std::function<void()>& pass)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        pass();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best)
            best = s;
    }
    return best;
}

bool buildLibrary(const std::string& path)
{
    return writeBenchLibrary(path, recordCount);
}

}   // namespace

int main()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = pattern;
    const std::string path = (dir / "SOUNDS.SYL").string();
    if (!buildLibrary(path)) {
        std::fprintf(stderr, "cannot build the library in %s\n", dir.c_str());
        std::filesystem::remove_all(dir);
        return 1;
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;

    TFileIO io(path);
    unsigned long sink = 0;
    int listed = 0;
    size_t readBytes = 0;

    const double sequential = bestOf([&] {
        const int fd = open(path.c_str(), O_RDONLY);
        std::vector<uint8_t> buffer(1 << 20);
        ssize_t got;
        readBytes = 0;
        while ((got = read(fd, buffer.data(), buffer.size())) > 0) {
            sink += buffer[static_cast<size_t>(got) - 1];
            readBytes += static_cast<size_t>(got);
        }
        close(fd);
    });

    const double full = bestOf([&] {
        const int32_t count = io.countRecords();
        io.openLibrary();
        listed = 0;
        for (int32_t n = 0; n < count; ++n) {
            sink += io.readCategories(n);
            sink += static_cast<unsigned char>(io.readName(n)[7]);
            ++listed;
        }
        io.closeFile();
    });
    const int fullListed = listed;

    const double filtered = bestOf([&] {
        const int32_t count = io.countRecords();
        io.openLibrary();
        listed = 0;
        for (int32_t n = 0; n < count; ++n) {
            const uint32_t mask = io.readCategories(n);
            if ((mask & filter) != filter)
                continue;
            sink += static_cast<unsigned char>(io.readName(n)[7]);
            ++listed;
        }
        io.closeFile();
    });

    // For comparison: a seek and a small read for every mask and every name.
    const double seeking = bestOf([&] {
        FILE* f = std::fopen(path.c_str(), "rb");
        uint8_t bytes[8];
        for (int64_t n = 0; n < recordCount; ++n) {
            std::fseek(f, static_cast<long>(5 + 596 * n), SEEK_SET);
            sink += std::fread(bytes, 1, 4, f);
            std::fseek(f, static_cast<long>(5 + 596 * n + 23), SEEK_SET);
            sink += std::fread(bytes, 1, 8, f);
        }
        std::fclose(f);
    });

    std::filesystem::remove_all(dir);

    std::printf("library: %d records, %.1f MB\n", recordCount, megabytes);
    std::printf("sequential read of the file (floor):   %8.1f ms  (%.1f MB read)\n", sequential * 1e3,
                static_cast<double>(readBytes) / 1e6);
    std::printf("listing pass, every mask and name:     %8.1f ms  (%.2f x floor, %d listed)\n", full * 1e3,
                full / sequential, fullListed);
    std::printf("listing pass, filter lists a tenth:    %8.1f ms  (%.2f x floor, %d listed)\n",
                filtered * 1e3, filtered / sequential, listed);
    std::printf("seek and small reads per record:       %8.1f ms  (%.2f x floor, for comparison)\n",
                seeking * 1e3, seeking / sequential);
    std::printf("(checksum of the run: %lu)\n", sink);
    return 0;
}
