#include "row_copy.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Routine = void(TOBREL_CDECL*)(int, int, void*, void*);
using Texel = std::array<uint16_t, 4>;

constexpr unsigned char kGuardByte = 0xA5;
constexpr YcPixel kGuardPixel = {0x5A5A, -0x1234, 0x0F0F};

struct Format {
    const char* name;
    Routine upload;
    Routine download;
    bool biased;
};

const Format kFormats[] = {
    {"signed", UploadRows, DownloadRows, false},
    {"unsigned", UploadRowsBiased, DownloadRowsBiased, true},
};

struct Direction {
    const char* name;
    Routine routine;
    bool upload;
    bool biased;
};

const Direction kDirections[] = {
    {"UploadRows", UploadRows, true, false},
    {"UploadRowsBiased", UploadRowsBiased, true, true},
    {"DownloadRows", DownloadRows, false, false},
    {"DownloadRowsBiased", DownloadRowsBiased, false, true},
};

// Widths that end the row after every possible number of whole 8-pixel blocks,
// 4-pixel blocks and single pixels, and a full HD row.
std::vector<int> AllTailWidths()
{
    std::vector<int> widths;
    for (int w = 1; w <= 70; ++w)
        widths.push_back(w);
    widths.push_back(1920);
    return widths;
}

bool SamePixel(const YcPixel& a, const YcPixel& b)
{
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

// The texel a pixel becomes: values unchanged or with bit 15 flipped, channel 3 zero.
Texel TexelOf(const YcPixel& p, bool biased)
{
    const uint16_t flip = biased ? 0x8000 : 0;
    return {static_cast<uint16_t>(static_cast<uint16_t>(p.y) ^ flip),
            static_cast<uint16_t>(static_cast<uint16_t>(p.cb) ^ flip),
            static_cast<uint16_t>(static_cast<uint16_t>(p.cr) ^ flip), 0};
}

// The pixel a texel becomes; channel 3 is ignored.
YcPixel PixelOf(const Texel& t, bool biased)
{
    const uint16_t flip = biased ? 0x8000 : 0;
    return {static_cast<int16_t>(t[0] ^ flip), static_cast<int16_t>(t[1] ^ flip), static_cast<int16_t>(t[2] ^ flip)};
}

// Where a frame's rows live: texel rows 8 * width bytes long, texelPitch apart,
// starting texelOffset bytes into their allocation; host rows width pixels
// long, hostStride apart, starting pixelOffset pixels into theirs.
struct Layout {
    int width;
    int height;
    int texelPitch;
    int hostStride;
    int texelOffset;
    int pixelOffset;
};

Layout Tight(int width, int height)
{
    return {width, height, 8 * width, width, 0, 0};
}

size_t TexelSpan(const Layout& l)
{
    return static_cast<size_t>(l.texelPitch) * (l.height - 1) + 8 * static_cast<size_t>(l.width);
}

size_t PixelSpan(const Layout& l)
{
    return static_cast<size_t>(l.hostStride) * (l.height - 1) + l.width;
}

// A texel level and a host buffer for one layout, every byte outside the rows
// (and a tail after the last row) holding a guard pattern.
class Frame {
public:
    static constexpr size_t kTailBytes = 32;
    static constexpr size_t kTailPixels = 8;

    explicit Frame(const Layout& layout)
        : layout_(layout),
          texelBytes_(layout.texelOffset + TexelSpan(layout) + kTailBytes, kGuardByte),
          pixels_(layout.pixelOffset + PixelSpan(layout) + kTailPixels, kGuardPixel)
    {
    }

    const Layout& layout() const { return layout_; }
    unsigned char* texels() { return texelBytes_.data() + layout_.texelOffset; }
    YcPixel* pixels() { return pixels_.data() + layout_.pixelOffset; }
    RowCopyJob job() { return {layout_.height, layout_.width, layout_.texelPitch, layout_.hostStride, texels(), pixels()}; }

    YcPixel& pixel(int row, int i) { return pixels()[static_cast<size_t>(row) * layout_.hostStride + i]; }
    Texel texel(int row, int i) const
    {
        Texel t;
        std::memcpy(t.data(), texelAddress(row, i), 8);
        return t;
    }
    void setTexel(int row, int i, const Texel& t) { std::memcpy(texelAddress(row, i), t.data(), 8); }

    void fillPixels(std::mt19937& random)
    {
        for (int r = 0; r < layout_.height; ++r)
            for (int i = 0; i < layout_.width; ++i)
                pixel(r, i) = {static_cast<int16_t>(random()), static_cast<int16_t>(random()),
                               static_cast<int16_t>(random())};
    }

    // Random texels, channel 3 included: a download must ignore it.
    void fillTexels(std::mt19937& random)
    {
        for (int r = 0; r < layout_.height; ++r)
            for (int i = 0; i < layout_.width; ++i)
                setTexel(r, i, {static_cast<uint16_t>(random()), static_cast<uint16_t>(random()),
                                static_cast<uint16_t>(random()), static_cast<uint16_t>(random() | 1)});
    }

    // Offsets of bytes outside every texel row that lost the guard pattern.
    std::vector<size_t> damagedTexelGuards() const
    {
        std::vector<bool> inRow(texelBytes_.size(), false);
        for (int r = 0; r < layout_.height; ++r)
            for (size_t b = 0; b < 8 * static_cast<size_t>(layout_.width); ++b)
                inRow[rowStart(r) + b] = true;
        std::vector<size_t> damaged;
        for (size_t b = 0; b < texelBytes_.size(); ++b)
            if (!inRow[b] && texelBytes_[b] != kGuardByte)
                damaged.push_back(b);
        return damaged;
    }

    // Indices of pixels outside every host row that lost the guard pattern.
    std::vector<size_t> damagedPixelGuards() const
    {
        std::vector<size_t> damaged;
        const size_t first = layout_.pixelOffset;
        for (size_t p = 0; p < pixels_.size(); ++p) {
            const size_t row = (p - first) / layout_.hostStride;
            const bool inRow = p >= first && row < static_cast<size_t>(layout_.height) &&
                               (p - first) % layout_.hostStride < static_cast<size_t>(layout_.width);
            if (!inRow && !SamePixel(pixels_[p], kGuardPixel))
                damaged.push_back(p);
        }
        return damaged;
    }

private:
    size_t rowStart(int row) const { return layout_.texelOffset + static_cast<size_t>(row) * layout_.texelPitch; }
    unsigned char* texelAddress(int row, int i) { return texelBytes_.data() + rowStart(row) + 8 * static_cast<size_t>(i); }
    const unsigned char* texelAddress(int row, int i) const
    {
        return texelBytes_.data() + rowStart(row) + 8 * static_cast<size_t>(i);
    }

    Layout layout_;
    std::vector<unsigned char> texelBytes_;
    std::vector<YcPixel> pixels_;
};

void RunSingle(Routine routine, RowCopyJob job)
{
    routine(0, 0, &job, nullptr);
}

// Number of rows of `to` whose pixels are not what `from`'s texels give.
int WrongPixelRows(Frame& from, Frame& to, bool biased)
{
    int wrong = 0;
    for (int r = 0; r < from.layout().height; ++r)
        for (int i = 0; i < from.layout().width; ++i)
            if (!SamePixel(to.pixel(r, i), PixelOf(from.texel(r, i), biased))) {
                ++wrong;
                break;
            }
    return wrong;
}

// Number of rows of `to` whose texels are not what `from`'s pixels give.
int WrongTexelRows(Frame& from, Frame& to, bool biased)
{
    int wrong = 0;
    for (int r = 0; r < from.layout().height; ++r)
        for (int i = 0; i < from.layout().width; ++i)
            if (to.texel(r, i) != TexelOf(from.pixel(r, i), biased)) {
                ++wrong;
                break;
            }
    return wrong;
}

// ---- values ----

// The edge values of the signed range and how each texel format stores them.
constexpr int16_t kEdgeValues[4] = {-32768, -1, 0, 32767};

struct Storage {
    const char* format;
    bool biased;
    uint16_t stored[4];
};

const Storage kStorage[] = {
    {"signed keeps the bit patterns", false, {0x8000, 0xFFFF, 0x0000, 0x7FFF}},
    {"unsigned adds 0x8000", true, {0x0000, 0x7FFF, 0x8000, 0xFFFF}},
};

// Each channel of pixel i holds edge value (i + channel) % 4, so every value
// passes through every channel and every lane of a block.
TEST(RowCopyValues, UploadStoresEdgeValuesAndZeroInChannel3)
{
    for (const Storage& s : kStorage) {
        for (int width : {1, 3, 4, 7, 8, 13, 16, 21}) {
            SCOPED_TRACE(testing::Message() << s.format << ", width " << width);
            Frame frame(Tight(width, 1));
            for (int i = 0; i < width; ++i)
                frame.pixel(0, i) = {kEdgeValues[i % 4], kEdgeValues[(i + 1) % 4], kEdgeValues[(i + 2) % 4]};
            RunSingle(s.biased ? UploadRowsBiased : UploadRows, frame.job());
            for (int i = 0; i < width; ++i) {
                const Texel expected = {s.stored[i % 4], s.stored[(i + 1) % 4], s.stored[(i + 2) % 4], 0};
                EXPECT_EQ(frame.texel(0, i), expected) << "texel " << i;
            }
        }
    }
}

TEST(RowCopyValues, DownloadRecoversEdgeValuesIgnoringChannel3)
{
    for (const Storage& s : kStorage) {
        for (int width : {1, 3, 4, 7, 8, 13, 16, 21}) {
            SCOPED_TRACE(testing::Message() << s.format << ", width " << width);
            Frame frame(Tight(width, 1));
            for (int i = 0; i < width; ++i)
                frame.setTexel(0, i, {s.stored[i % 4], s.stored[(i + 1) % 4], s.stored[(i + 2) % 4], 0xBEEF});
            RunSingle(s.biased ? DownloadRowsBiased : DownloadRows, frame.job());
            for (int i = 0; i < width; ++i) {
                const YcPixel p = frame.pixel(0, i);
                EXPECT_EQ(p.y, kEdgeValues[i % 4]) << "pixel " << i;
                EXPECT_EQ(p.cb, kEdgeValues[(i + 1) % 4]) << "pixel " << i;
                EXPECT_EQ(p.cr, kEdgeValues[(i + 2) % 4]) << "pixel " << i;
            }
        }
    }
}

// ---- whole frames ----

// Upload a random frame, check every texel, download into a fresh buffer and
// compare with the original. The texel level also starts 4 and 8 bytes into
// its allocation, the host buffer 1 and 2 pixels into its own.
TEST(RowCopyFrames, RoundTripIsExactForEveryWidth)
{
    std::mt19937 random(7);
    for (const Format& format : kFormats) {
        for (int width : AllTailWidths()) {
            for (int offset : {0, 1, 2}) {
                SCOPED_TRACE(testing::Message() << format.name << ", width " << width << ", offset " << offset);
                Layout layout = Tight(width, 5);
                layout.texelOffset = 4 * offset;
                layout.pixelOffset = offset;
                Frame source(layout), back(layout);
                source.fillPixels(random);
                RunSingle(format.upload, source.job());
                ASSERT_EQ(WrongTexelRows(source, source, format.biased), 0);

                // The download's texels are the upload's; its pixels a separate buffer.
                RowCopyJob job = back.job();
                job.texels = source.texels();
                RunSingle(format.download, job);
                int wrongRows = 0;
                for (int r = 0; r < layout.height; ++r)
                    for (int i = 0; i < width; ++i)
                        if (!SamePixel(back.pixel(r, i), source.pixel(r, i))) {
                            ++wrongRows;
                            break;
                        }
                EXPECT_EQ(wrongRows, 0);
                EXPECT_TRUE(source.damagedTexelGuards().empty());
                EXPECT_TRUE(back.damagedPixelGuards().empty());
            }
        }
    }
}

// Texel rows with padding after them and host rows wider than the image:
// padding is never written, and padding texels never reach a pixel.
TEST(RowCopyFrames, PaddingBetweenRowsIsLeftAlone)
{
    std::mt19937 random(11);
    for (const Direction& d : kDirections) {
        for (int width : {1, 5, 8, 12, 19, 64}) {
            for (int pad : {4, 8, 24, 100}) {
                SCOPED_TRACE(testing::Message() << d.name << ", width " << width << ", padding " << pad);
                Layout layout = Tight(width, 6);
                layout.texelPitch += pad;
                layout.hostStride += 3;
                Frame frame(layout);
                if (d.upload) {
                    frame.fillPixels(random);
                    RunSingle(d.routine, frame.job());
                    EXPECT_EQ(WrongTexelRows(frame, frame, d.biased), 0);
                    EXPECT_EQ(frame.damagedTexelGuards(), std::vector<size_t>{});
                } else {
                    frame.fillTexels(random);
                    RunSingle(d.routine, frame.job());
                    EXPECT_EQ(WrongPixelRows(frame, frame, d.biased), 0);
                    EXPECT_EQ(frame.damagedPixelGuards(), std::vector<size_t>{});
                }
            }
        }
    }
}

// Rows without a gap (hostStride == width, texelPitch == 8 * width), written
// from the last row to the first, one call per row, as when another thread
// has already copied row r + 1 when row r is copied: row r must end exactly
// where row r + 1 begins.
TEST(RowCopyFrames, RowNeverSpillsIntoTheNextRow)
{
    std::mt19937 random(13);
    std::vector<int> widths;
    for (int w = 1; w <= 17; ++w)
        widths.push_back(w);
    widths.push_back(1920);
    for (const Direction& d : kDirections) {
        for (int width : widths) {
            SCOPED_TRACE(testing::Message() << d.name << ", width " << width);
            const Layout layout = Tight(width, 4);
            Frame frame(layout);
            if (d.upload)
                frame.fillPixels(random);
            else
                frame.fillTexels(random);
            for (int r = layout.height - 1; r >= 0; --r) {
                RowCopyJob job = frame.job();
                job.rowCount = 1;
                job.texels = frame.texels() + static_cast<size_t>(r) * layout.texelPitch;
                job.pixels = frame.pixels() + static_cast<size_t>(r) * layout.hostStride;
                RunSingle(d.routine, job);
            }
            if (d.upload) {
                EXPECT_EQ(WrongTexelRows(frame, frame, d.biased), 0);
                EXPECT_EQ(frame.damagedTexelGuards(), std::vector<size_t>{});
            } else {
                EXPECT_EQ(WrongPixelRows(frame, frame, d.biased), 0);
                EXPECT_EQ(frame.damagedPixelGuards(), std::vector<size_t>{});
            }
        }
    }
}

// ---- buffers that end at a page boundary ----

// Memory whose last byte is followed by an inaccessible page (and whose first
// is preceded by one): any access past either end faults.
class GuardedMemory {
public:
    explicit GuardedMemory(size_t bytes) : page_(static_cast<size_t>(sysconf(_SC_PAGESIZE)))
    {
        const size_t dataPages = (bytes + page_ - 1) / page_;
        size_ = (dataPages + 2) * page_;
        void* base = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            throw std::runtime_error("mmap failed");
        base_ = static_cast<unsigned char*>(base);
        if (mprotect(base_, page_, PROT_NONE) != 0 || mprotect(base_ + (dataPages + 1) * page_, page_, PROT_NONE) != 0)
            throw std::runtime_error("mprotect failed");
        data_ = base_ + (dataPages + 1) * page_ - bytes;
    }
    ~GuardedMemory() { munmap(base_, size_); }
    GuardedMemory(const GuardedMemory&) = delete;
    GuardedMemory& operator=(const GuardedMemory&) = delete;

    unsigned char* data() const { return data_; }

private:
    size_t page_;
    size_t size_ = 0;
    unsigned char* base_ = nullptr;
    unsigned char* data_ = nullptr;
};

// Both sides of every routine end exactly at a guard page, for every tail
// width, so a read or write past the last row's bytes crashes the test.
TEST(RowCopyGuardPage, LastRowEndsAtTheEndOfTheBuffer)
{
    std::mt19937 random(17);
    for (const Direction& d : kDirections) {
        for (int width : AllTailWidths()) {
            for (int pad : {0, 16}) {
                SCOPED_TRACE(testing::Message() << d.name << ", width " << width << ", texel padding " << pad);
                Layout layout = Tight(width, 3);
                layout.texelPitch += pad;
                // The checked copy in an ordinary frame, then the same rows in guarded buffers.
                Frame frame(layout);
                GuardedMemory texels(TexelSpan(layout));
                GuardedMemory pixels(PixelSpan(layout) * sizeof(YcPixel));
                RowCopyJob job = frame.job();
                job.texels = texels.data();
                job.pixels = reinterpret_cast<YcPixel*>(pixels.data());
                if (d.upload) {
                    frame.fillPixels(random);
                    std::memcpy(job.pixels, frame.pixels(), PixelSpan(layout) * sizeof(YcPixel));
                    RunSingle(d.routine, job);
                    std::memcpy(frame.texels(), job.texels, TexelSpan(layout));
                    EXPECT_EQ(WrongTexelRows(frame, frame, d.biased), 0);
                } else {
                    frame.fillTexels(random);
                    std::memcpy(job.texels, frame.texels(), TexelSpan(layout));
                    RunSingle(d.routine, job);
                    std::memcpy(frame.pixels(), job.pixels, PixelSpan(layout) * sizeof(YcPixel));
                    EXPECT_EQ(WrongPixelRows(frame, frame, d.biased), 0);
                }
            }
        }
    }
}

// ---- row order and threads ----

// A single call with rows that overlap: each row starts one element after the
// previous and is longer than the row count, so every two rows share an
// element and the element ends up holding the row copied last. In order
// 0, 1, ..., element k holds row min(k, last row)'s value.
TEST(RowCopyThreads, SingleCallCopiesInOrderAndLeavesTheCounter)
{
    constexpr int kRows = 12;
    constexpr int kWidth = 20;
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        Layout layout = Tight(kWidth, kRows);
        Frame frame(layout);  // the distinct source values, row by row
        std::mt19937 random(19);
        frame.fillPixels(random);
        frame.fillTexels(random);
        std::vector<unsigned char> texels(8 * (kRows - 1 + kWidth));
        std::vector<YcPixel> pixels(kRows - 1 + kWidth);
        RowCopyJob job = frame.job();
        if (d.upload) {
            job.texelPitch = 8;
            job.texels = texels.data();
        } else {
            job.hostStride = 1;
            job.pixels = pixels.data();
        }
        rowCounter.store(777);
        RunSingle(d.routine, job);
        EXPECT_EQ(rowCounter.load(), 777);
        for (int k = 0; k < kRows - 1 + kWidth; ++k) {
            const int row = std::min(k, kRows - 1);
            if (d.upload) {
                Texel t;
                std::memcpy(t.data(), texels.data() + 8 * k, 8);
                EXPECT_EQ(t, TexelOf(frame.pixel(row, k - row), d.biased)) << "element " << k;
            } else {
                EXPECT_TRUE(SamePixel(pixels[k], PixelOf(frame.texel(row, k - row), d.biased))) << "element " << k;
            }
        }
    }
}

// Four threads share a full HD frame through the counter, as the host's
// worker threads do. Every row comes out right, and the counter shows
// 1080 takes of a row plus one final take per thread.
TEST(RowCopyThreads, FourThreadsShareTheRows)
{
    constexpr int kThreads = 4;
    std::mt19937 random(23);
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        Frame frame(Tight(1920, 1080));
        if (d.upload)
            frame.fillPixels(random);
        else
            frame.fillTexels(random);
        RowCopyJob job = frame.job();
        rowCounter.store(5000);
        ResetRowCounter();
        EXPECT_EQ(rowCounter.load(), 0);

        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                while (!go.load())
                    std::this_thread::yield();
                d.routine(i, kThreads, &job, nullptr);
            });
        go.store(true);
        for (std::thread& t : threads)
            t.join();

        EXPECT_EQ(rowCounter.load(), 1080 + kThreads);
        if (d.upload) {
            EXPECT_EQ(WrongTexelRows(frame, frame, d.biased), 0);
            EXPECT_EQ(frame.damagedTexelGuards(), std::vector<size_t>{});
        } else {
            EXPECT_EQ(WrongPixelRows(frame, frame, d.biased), 0);
            EXPECT_EQ(frame.damagedPixelGuards(), std::vector<size_t>{});
        }
    }
}

// In a threaded call the counter, not the thread index, picks the rows: a
// call made as thread 3 of 4 after rows 0..4 were taken copies rows 5 on,
// leaves rows 0..4 alone and takes once more than it copies.
TEST(RowCopyThreads, ThreadedCallTakesRowsFromTheCounter)
{
    constexpr int kRows = 9;
    constexpr int kTaken = 5;
    std::mt19937 random(29);
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(d.name);
        Frame frame(Tight(11, kRows));
        if (d.upload)
            frame.fillPixels(random);
        else
            frame.fillTexels(random);
        rowCounter.store(kTaken);
        RowCopyJob job = frame.job();
        d.routine(3, 4, &job, nullptr);
        EXPECT_EQ(rowCounter.load(), kRows + 1);
        for (int r = 0; r < kRows; ++r) {
            bool untouched = true;
            bool copied = true;
            for (int i = 0; i < 11; ++i) {
                if (d.upload) {
                    untouched = untouched && frame.texel(r, i) == Texel{0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5};
                    copied = copied && frame.texel(r, i) == TexelOf(frame.pixel(r, i), d.biased);
                } else {
                    untouched = untouched && SamePixel(frame.pixel(r, i), kGuardPixel);
                    copied = copied && SamePixel(frame.pixel(r, i), PixelOf(frame.texel(r, i), d.biased));
                }
            }
            if (r < kTaken)
                EXPECT_TRUE(untouched) << "row " << r;
            else
                EXPECT_TRUE(copied) << "row " << r;
        }
    }
}

}  // namespace
