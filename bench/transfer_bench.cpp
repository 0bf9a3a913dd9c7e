// Throughput of the row copies between host pixels and texels, next to memcpy
// of the same host bytes (6 bytes per pixel), on one thread and on the host's
// worker-thread pool.
//
//   tobrel-transfer-bench [--threads N] [--runs N] [--warmup N] [--size WxH]...
//
// Each run times memcpy, then upload, download, biased upload and biased
// download of one frame; the ratio of a run is memcpy's time over the copy's
// time in that run, so 1.0 means as fast as memcpy.

#include "row_copy.h"
#include "thread_pool.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Routine = void(TOBREL_CDECL*)(int, int, void*, void*);

struct Size {
    int width;
    int height;
};

struct Options {
    int threads = 1;
    int runs = 31;
    int warmup = 5;
    std::vector<Size> sizes;
};

[[noreturn]] void Usage(const char* program)
{
    std::fprintf(stderr, "usage: %s [--threads N] [--runs N] [--warmup N] [--size WxH]...\n", program);
    std::exit(2);
}

int CountArgument(const char* program, const char* text, long least)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < least || value > 100000)
        Usage(program);
    return static_cast<int>(value);
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    options.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            Usage(argv[0]);
        const char* value = argv[++i];
        if (arg == "--threads") {
            options.threads = CountArgument(argv[0], value, 1);
        } else if (arg == "--runs") {
            options.runs = CountArgument(argv[0], value, 1);
        } else if (arg == "--warmup") {
            options.warmup = CountArgument(argv[0], value, 0);
        } else if (arg == "--size") {
            Size size{};
            char extra = 0;
            if (std::sscanf(value, "%dx%d%c", &size.width, &size.height, &extra) != 2 || size.width < 1 ||
                size.height < 1 || size.width > 16384 || size.height > 16384)
                Usage(argv[0]);
            options.sizes.push_back(size);
        } else {
            Usage(argv[0]);
        }
    }
    if (options.sizes.empty())
        options.sizes = {{1920, 1080}, {1280, 720}};
    return options;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

template <typename F>
double Time(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return Seconds(std::chrono::steady_clock::now() - start);
}

struct Spread {
    double median;
    double min;
    double max;
};

Spread Summarize(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

struct Copy {
    const char* name;
    Routine routine;
    bool upload;
};

// The order matters: each download reads the texels of the upload just
// before it, so the host buffer is restored after every pair.
const Copy kCopies[] = {
    {"upload", UploadRows, true},
    {"download", DownloadRows, false},
    {"upload biased", UploadRowsBiased, true},
    {"download biased", DownloadRowsBiased, false},
};
constexpr int kCopyCount = sizeof(kCopies) / sizeof(kCopies[0]);

class Frame {
public:
    Frame(Size size, unsigned seed)
        : size_(size),
          pixelCount_(static_cast<size_t>(size.width) * size.height),
          pixels_(pixelCount_),
          original_(pixelCount_),
          copy_(pixelCount_),
          texels_(pixelCount_)
    {
        std::mt19937 random(seed);
        for (YcPixel& p : original_)
            p = {static_cast<int16_t>(random()), static_cast<int16_t>(random()), static_cast<int16_t>(random())};
        pixels_ = original_;
        // Touch every page before timing.
        std::memset(copy_.data(), 0, hostBytes());
        std::memset(texels_.data(), 0, texels_.size() * sizeof(texels_[0]));
        job_ = {size.height, size.width, size.width * 8, size.width, texels_.data(), pixels_.data()};
    }

    size_t hostBytes() const { return pixelCount_ * sizeof(YcPixel); }
    size_t texelBytes() const { return texels_.size() * sizeof(texels_[0]); }
    RowCopyJob* job() { return &job_; }
    bool restored() const { return std::memcmp(pixels_.data(), original_.data(), hostBytes()) == 0; }

    void memcpyRows(int first, int end)
    {
        const size_t offset = static_cast<size_t>(first) * size_.width;
        std::memcpy(copy_.data() + offset, pixels_.data() + offset,
                    static_cast<size_t>(end - first) * size_.width * sizeof(YcPixel));
    }

    int height() const { return size_.height; }

private:
    Size size_;
    size_t pixelCount_;
    std::vector<YcPixel> pixels_;
    std::vector<YcPixel> original_;
    std::vector<YcPixel> copy_;
    std::vector<uint64_t> texels_;
    RowCopyJob job_{};
};

struct Results {
    std::vector<double> memcpySeconds;
    std::vector<double> copySeconds[kCopyCount];
    std::vector<double> ratios[kCopyCount];
};

// One thread: the caller runs memcpy and the routines itself, the routines as (0, 0, job, nullptr).
// Threaded: every pool thread calls routine(i, N, job, nullptr) after the counter is reset, as
// the host's runOnThreads does; memcpy is split in row bands, one per thread.
Results Measure(Frame& frame, HostThreadPool* pool, const Options& options)
{
    const auto runMemcpy = [&] {
        if (!pool) {
            frame.memcpyRows(0, frame.height());
            return;
        }
        pool->run([&](int index, int count) {
            const int64_t h = frame.height();
            frame.memcpyRows(static_cast<int>(h * index / count), static_cast<int>(h * (index + 1) / count));
        });
    };
    const auto runCopy = [&](Routine routine) {
        if (!pool) {
            routine(0, 0, frame.job(), nullptr);
            return;
        }
        ResetRowCounter();
        pool->run([&](int index, int count) { routine(index, count, frame.job(), nullptr); });
    };

    Results results;
    for (int run = -options.warmup; run < options.runs; ++run) {
        const double memcpySeconds = Time(runMemcpy);
        double copySeconds[kCopyCount];
        for (int c = 0; c < kCopyCount; ++c)
            copySeconds[c] = Time([&] { runCopy(kCopies[c].routine); });
        if (run < 0)
            continue;
        results.memcpySeconds.push_back(memcpySeconds);
        for (int c = 0; c < kCopyCount; ++c) {
            results.copySeconds[c].push_back(copySeconds[c]);
            results.ratios[c].push_back(memcpySeconds / copySeconds[c]);
        }
    }
    return results;
}

Spread Throughput(const std::vector<double>& seconds, size_t bytes)
{
    const Spread s = Summarize(seconds);
    const double gb = static_cast<double>(bytes) / 1e9;
    return {gb / s.median, gb / s.max, gb / s.min};
}

void PrintRow(const char* threads, const char* name, Spread copy, Spread memcpySpeed, Spread ratio)
{
    std::printf("  %-8s %-16s %6.2f [%6.2f-%6.2f]   %6.2f [%6.2f-%6.2f]   %5.2f [%5.2f-%5.2f]\n", threads, name,
                copy.median, copy.min, copy.max, memcpySpeed.median, memcpySpeed.min, memcpySpeed.max, ratio.median,
                ratio.min, ratio.max);
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = ParseOptions(argc, argv);
    HostThreadPool pool(options.threads);

    std::printf("Row copies host pixels (3 x int16, 6 B) <-> texels (4 x 16-bit, 8 B), next to memcpy of\n"
                "the frame's host bytes (6 x width x height). GB/s counts host bytes for both. ratio = memcpy\n"
                "time / copy time within each run (1.00 = as fast as memcpy). Median [min-max] of %d runs after\n"
                "%d warm-up runs. Threaded: %d pool threads take rows from the shared counter; memcpy is split\n"
                "in %d row bands.\n",
                options.runs, options.warmup, options.threads, options.threads);

    bool exact = true;
    unsigned seed = 1;
    for (const Size size : options.sizes) {
        Frame frame(size, seed++);
        std::printf("\n%dx%d: %.1f MB host, %.1f MB texels\n", size.width, size.height, frame.hostBytes() / 1e6,
                    frame.texelBytes() / 1e6);
        std::printf("  %-8s %-16s %-22s   %-22s   %s\n", "threads", "copy", "copy GB/s", "memcpy GB/s", "ratio");
        char threadsLabel[16];
        for (HostThreadPool* p : {static_cast<HostThreadPool*>(nullptr), &pool}) {
            const Results results = Measure(frame, p, options);
            std::snprintf(threadsLabel, sizeof threadsLabel, "%d", p ? options.threads : 1);
            const Spread memcpySpeed = Throughput(results.memcpySeconds, frame.hostBytes());
            for (int c = 0; c < kCopyCount; ++c)
                PrintRow(threadsLabel, kCopies[c].name, Throughput(results.copySeconds[c], frame.hostBytes()),
                         memcpySpeed, Summarize(results.ratios[c]));
            exact = exact && frame.restored();
        }
    }
    // Every download restores the buffer its upload read: anything else means the copies are wrong.
    std::printf("\nround trips %s\n", exact ? "exact" : "NOT EXACT");
    return exact ? 0 : 1;
}
