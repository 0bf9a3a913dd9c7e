#include "row_copy.h"

#include <emmintrin.h>

#include <cstddef>
#include <cstring>

// Only SSE2 (XMM registers) is used; no MMX register is touched, so no EMMS
// is needed before x87 code runs after these routines.

static_assert(std::atomic<int32_t>::is_always_lock_free, "the row counter must be lock-free");

std::atomic<int32_t> rowCounter{0};

void ResetRowCounter()
{
    rowCounter.exchange(0);
}

namespace {

// The host's worker threads on 32-bit Windows may enter with a stack aligned
// to 4 bytes only; realign it so that any 16-byte spill slot is valid.
#if defined(__i386__) && defined(__GNUC__)
#define TOBREL_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define TOBREL_REALIGN_STACK
#endif

constexpr uint64_t kTexelBias = 0x0000800080008000u;  // channels 0..2 of one texel
constexpr short kBias = static_cast<short>(0x8000);

inline __m128i Load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(unsigned char* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Both directions work on quadwords: a texel is one, and a block of eight
// pixels is six (q0..q5), each texel's three values straddling at most two.
// Texels 0..3 match q0..q2 exactly as texels 4..7 match q3..q5, so each
// vector holds one quadword of either half and every shift serves both.

inline __m128i LowFromFirst(__m128i first, __m128i second)  // first's low, second's high quadword
{
    return _mm_castpd_si128(_mm_move_sd(_mm_castsi128_pd(second), _mm_castsi128_pd(first)));
}

inline __m128i HighThenLow(__m128i first, __m128i second)  // first's high, second's low quadword
{
    return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(first), _mm_castsi128_pd(second), 1));
}

// ---- upload: 6-byte pixels to 8-byte texels ----

inline uint64_t ToTexel(const YcPixel& p)
{
    return static_cast<uint64_t>(static_cast<uint16_t>(p.y)) |
           static_cast<uint64_t>(static_cast<uint16_t>(p.cb)) << 16 |
           static_cast<uint64_t>(static_cast<uint16_t>(p.cr)) << 32;
}

// a, b, c hold q0 q1, q2 q3 and q4 q5. Texel k (and k + 4), cut to 48 bits:
// t0 = q0, t1 = q0 >> 48 | q1 << 16, t2 = q1 >> 32 | q2 << 32, t3 = q2 >> 16.
inline void SpreadBlock(__m128i a, __m128i b, __m128i c, __m128i keep, __m128i out[4])
{
    const __m128i q03 = LowFromFirst(a, b);
    const __m128i q14 = HighThenLow(a, c);
    const __m128i q25 = LowFromFirst(b, c);
    const __m128i t04 = _mm_and_si128(q03, keep);
    const __m128i t15 = _mm_and_si128(_mm_or_si128(_mm_srli_epi64(q03, 48), _mm_slli_epi64(q14, 16)), keep);
    const __m128i t26 = _mm_and_si128(_mm_or_si128(_mm_srli_epi64(q14, 32), _mm_slli_epi64(q25, 32)), keep);
    const __m128i t37 = _mm_srli_epi64(q25, 16);
    out[0] = _mm_unpacklo_epi64(t04, t15);
    out[1] = _mm_unpacklo_epi64(t26, t37);
    out[2] = _mm_unpackhi_epi64(t04, t15);
    out[3] = _mm_unpackhi_epi64(t26, t37);
}

template <bool Biased>
void UploadRow(const YcPixel* pixels, unsigned char* texels, int32_t count)
{
    const __m128i keep = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i flip = _mm_set1_epi16(kBias);  // pixel data has no fourth channel: every word is a value
    const unsigned char* src = reinterpret_cast<const unsigned char*>(pixels);
    unsigned char* dst = texels;
    int32_t i = 0;
    __m128i out[4];

    // Eight pixels (48 bytes, three loads) make eight texels (64 bytes, four stores).
    for (; count - i >= 8; i += 8, src += 48, dst += 64) {
        __m128i a = Load(src);
        __m128i b = Load(src + 16);
        __m128i c = Load(src + 32);
        if (Biased) {
            a = _mm_xor_si128(a, flip);
            b = _mm_xor_si128(b, flip);
            c = _mm_xor_si128(c, flip);
        }
        SpreadBlock(a, b, c, keep, out);
        Store(dst, out[0]);
        Store(dst + 16, out[1]);
        Store(dst + 32, out[2]);
        Store(dst + 48, out[3]);
    }
    // Four pixels: 24 bytes, read as 16 + 8 so that nothing past the row is loaded.
    if (count - i >= 4) {
        __m128i a = Load(src);
        __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + 16));
        if (Biased) {
            a = _mm_xor_si128(a, flip);
            b = _mm_xor_si128(b, flip);
        }
        SpreadBlock(a, b, _mm_setzero_si128(), keep, out);
        Store(dst, out[0]);
        Store(dst + 16, out[1]);
        i += 4;
        dst += 32;
    }
    for (; i < count; ++i, dst += 8) {
        uint64_t texel = ToTexel(pixels[i]);
        if (Biased)
            texel ^= kTexelBias;
        std::memcpy(dst, &texel, 8);
    }
}

// ---- download: 8-byte texels to 6-byte pixels ----

// a, b, c, d hold texels t0 t1, t2 t3, t4 t5 and t6 t7. With the fourth
// channel cleared where it would show: q0 = t0 | t1 << 48,
// q1 = t1 >> 16 | t2 << 32, q2 = t2 >> 32 | t3 << 16.
inline void PackBlock(__m128i a, __m128i b, __m128i c, __m128i d, __m128i keep, __m128i out[3])
{
    const __m128i t04 = _mm_and_si128(_mm_unpacklo_epi64(a, c), keep);
    const __m128i t15 = _mm_and_si128(_mm_unpackhi_epi64(a, c), keep);
    const __m128i t26 = _mm_and_si128(_mm_unpacklo_epi64(b, d), keep);
    const __m128i t37 = _mm_unpackhi_epi64(b, d);  // the shift drops the fourth channel
    const __m128i q03 = _mm_or_si128(t04, _mm_slli_epi64(t15, 48));
    const __m128i q14 = _mm_or_si128(_mm_srli_epi64(t15, 16), _mm_slli_epi64(t26, 32));
    const __m128i q25 = _mm_or_si128(_mm_srli_epi64(t26, 32), _mm_slli_epi64(t37, 16));
    out[0] = _mm_unpacklo_epi64(q03, q14);
    out[1] = LowFromFirst(q25, q03);
    out[2] = _mm_unpackhi_epi64(q14, q25);
}

template <bool Biased>
void DownloadRow(const unsigned char* texels, YcPixel* pixels, int32_t count)
{
    const __m128i keep = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i flip = _mm_set1_epi16(kBias);
    const unsigned char* src = texels;
    unsigned char* dst = reinterpret_cast<unsigned char*>(pixels);
    int32_t i = 0;
    __m128i out[3];

    // Eight texels (64 bytes, four loads) make eight pixels (48 bytes, three stores).
    for (; count - i >= 8; i += 8, src += 64, dst += 48) {
        PackBlock(Load(src), Load(src + 16), Load(src + 32), Load(src + 48), keep, out);
        if (Biased) {
            out[0] = _mm_xor_si128(out[0], flip);
            out[1] = _mm_xor_si128(out[1], flip);
            out[2] = _mm_xor_si128(out[2], flip);
        }
        Store(dst, out[0]);
        Store(dst + 16, out[1]);
        Store(dst + 32, out[2]);
    }
    // Four texels: 24 bytes of pixels, written as 16 + 8 so that nothing past the row is touched.
    if (count - i >= 4) {
        const __m128i zero = _mm_setzero_si128();
        PackBlock(Load(src), Load(src + 16), zero, zero, keep, out);
        if (Biased) {
            out[0] = _mm_xor_si128(out[0], flip);
            out[1] = _mm_xor_si128(out[1], flip);
        }
        Store(dst, out[0]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 16), out[1]);
        i += 4;
        src += 32;
    }
    for (; i < count; ++i, src += 8) {
        uint64_t texel;
        std::memcpy(&texel, src, 8);
        if (Biased)
            texel ^= kTexelBias;
        pixels[i].y = static_cast<int16_t>(static_cast<uint16_t>(texel));
        pixels[i].cb = static_cast<int16_t>(static_cast<uint16_t>(texel >> 16));
        pixels[i].cr = static_cast<int16_t>(static_cast<uint16_t>(texel >> 32));
    }
}

// ---- row distribution ----

struct Rows {
    unsigned char* texels;
    YcPixel* pixels;
    ptrdiff_t texelPitch;
    ptrdiff_t hostStride;
    int32_t rowPixels;

    unsigned char* texelRow(int32_t row) const { return texels + row * texelPitch; }
    YcPixel* pixelRow(int32_t row) const { return pixels + row * hostStride; }
};

template <typename CopyRow>
inline void CopyRows(int threadCount, const void* jobPointer, CopyRow copyRow)
{
    const RowCopyJob& job = *static_cast<const RowCopyJob*>(jobPointer);
    const Rows rows{static_cast<unsigned char*>(job.texels), job.pixels, job.texelPitch, job.hostStride,
                    job.rowPixels};
    const int32_t rowCount = job.rowCount;
    if (threadCount == 0) {
        for (int32_t row = 0; row < rowCount; ++row)
            copyRow(rows, row);
        return;
    }
    // The thread service's own start and finish order the rows' memory; the
    // counter only hands them out.
    for (;;) {
        const int32_t row = rowCounter.fetch_add(1, std::memory_order_relaxed);
        if (row >= rowCount)
            return;
        copyRow(rows, row);
    }
}

template <bool Biased>
void Upload(int threadCount, const void* job)
{
    CopyRows(threadCount, job, [](const Rows& rows, int32_t row) {
        UploadRow<Biased>(rows.pixelRow(row), rows.texelRow(row), rows.rowPixels);
    });
}

template <bool Biased>
void Download(int threadCount, const void* job)
{
    CopyRows(threadCount, job, [](const Rows& rows, int32_t row) {
        DownloadRow<Biased>(rows.texelRow(row), rows.pixelRow(row), rows.rowPixels);
    });
}

}  // namespace

TOBREL_REALIGN_STACK void TOBREL_CDECL UploadRows(int, int threadCount, void* job, void*)
{
    Upload<false>(threadCount, job);
}

TOBREL_REALIGN_STACK void TOBREL_CDECL UploadRowsBiased(int, int threadCount, void* job, void*)
{
    Upload<true>(threadCount, job);
}

TOBREL_REALIGN_STACK void TOBREL_CDECL DownloadRows(int, int threadCount, void* job, void*)
{
    Download<false>(threadCount, job);
}

TOBREL_REALIGN_STACK void TOBREL_CDECL DownloadRowsBiased(int, int threadCount, void* job, void*)
{
    Download<true>(threadCount, job);
}
