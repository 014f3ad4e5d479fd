// Throughput of the NMEA framer and handlers on the real receiver logs of
// tests/data/nmea: bytes go in one at a time, as the reader thread feeds them, and every
// completed sentence is dispatched (GGA and RMC with a fix publish it, status line
// included). Prints sentences per second on one core, and heap allocations per sentence.
//
// Build Release for the figure:
//   cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release && cmake --build build-release
//   --target bench_nmea && build-release/bench_nmea
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "gps/nmea_parser.h"
#include "platform/testing.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

// Counts every heap allocation of the process, to show the parser makes none.
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string loadLogs(int& files) {
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(fs::path(ORVEN_SOURCE_DIR) / "tests/data/nmea"))
        if (entry.path().extension() == ".log") paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::string stream;
    for (const fs::path& path : paths) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        stream += bytes.str();
    }
    files = static_cast<int>(paths.size());
    return stream;
}

// One pass over the stream; returns the sentences completed.
long framePass(const std::string& stream, bool dispatch) {
    long sentences = 0;
    for (char c : stream) {
        if (!sentenceFramer(static_cast<BYTE>(c))) continue;
        ++sentences;
        if (dispatch) dispatchSentence();
    }
    return sentences;
}

struct Figure {
    double seconds;
    long sentences;
    long bytes;
    long allocations;
};

Figure measure(const std::string& stream, bool dispatch, double minimumSeconds) {
    framePass(stream, dispatch);  // warm-up
    Figure figure{0, 0, 0, 0};
    long before = allocations.load();
    Clock::time_point start = Clock::now();
    do {
        figure.sentences += framePass(stream, dispatch);
        figure.bytes += static_cast<long>(stream.size());
        figure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (figure.seconds < minimumSeconds);
    figure.allocations = allocations.load() - before;
    return figure;
}

void print(const char* what, const Figure& f) {
    std::printf(
        "%-34s %6.2f M sentences/s  %7.1f MB/s  %6.1f ns/sentence  %.3f allocations/sentence\n",
        what, f.sentences / f.seconds / 1e6, f.bytes / f.seconds / 1e6,
        f.seconds * 1e9 / f.sentences, static_cast<double>(f.allocations) / f.sentences);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    int files = 0;
    const std::string stream = loadLogs(files);
    if (stream.empty()) {
        std::fprintf(stderr, "no logs under %s/tests/data/nmea\n", ORVEN_SOURCE_DIR);
        return 1;
    }
    // The platform traces every timer call for the tests; fill its in-memory trace to its
    // bound first, so that what is measured is the steady state of a long-running reader.
    orven::test::useVirtualClock();
    sentenceFramerReset();
    long perPass = framePass(stream, false);
    std::printf("%d logs, %zu bytes, %ld sentences per pass\n", files, stream.size(), perPass);
    for (int i = 0; i < 400; ++i) framePass(stream, true);

    print("framer only", measure(stream, false, seconds));
    print("framer + dispatch + handlers", measure(stream, true, seconds));
    return 0;
}
