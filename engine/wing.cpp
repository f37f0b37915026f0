#include "engine/wing.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PLENOVA_X86 1
#endif

namespace plenova::wing {
namespace {

int& Orientation() {
    static int sign = -1;
    return sign;
}

struct Extent {
    std::int64_t width = 0;
    std::int64_t rows = 0;
    std::int64_t stride = 0;
    bool bottomUp = false;
};

// The extent of an uncompressed 8-bit picture whose bits hold all its rows; false otherwise.
bool Extent8(const gdi::BitmapInfoHeader& h, std::size_t bitsSize, Extent& e) {
    if (h.biBitCount != 8 || h.biCompression != gdi::BI_RGB || h.biWidth <= 0 || h.biHeight == 0) {
        return false;
    }
    e.width = h.biWidth;
    e.rows = h.biHeight < 0 ? -std::int64_t{h.biHeight} : h.biHeight;
    e.stride = gdi::RowBytes(8, e.width);
    e.bottomUp = h.biHeight > 0;
    return e.stride * e.rows <= static_cast<std::int64_t>(bitsSize);
}

Extent ExtentOf(const gdi::Surface8& s) {
    return {s.width, std::abs(std::int64_t{s.height}), s.stride, s.height > 0};
}

// Stored row of a visual row (counted from the top).
std::int64_t StoredRow(const Extent& e, std::int64_t visual) {
    return e.bottomUp ? e.rows - 1 - visual : visual;
}

// The span [lo, hi) of destination positions p in [at, at + length) that land inside a
// destination of size `destSize` and whose source position from + (p - at) lies inside a source
// of size `srcSize`.
struct Range {
    std::int64_t lo, hi;
    bool empty() const { return lo >= hi; }
};
Range Clip(std::int64_t at, std::int64_t length, std::int64_t destSize, std::int64_t from,
           std::int64_t srcSize) {
    std::int64_t lo = std::max({at, std::int64_t{0}, at - from});
    std::int64_t hi = std::min({at + length, destSize, at + srcSize - from});
    return {lo, hi};
}

void TransparentRowPortable(std::uint8_t* dst, const std::uint8_t* src, std::size_t count,
                            std::uint8_t key) {
    // Eight bytes at a time: mark the bytes equal to the key without carries between bytes.
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const std::uint64_t keys = 0x0101010101010101ull * key;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t s, d;
        std::memcpy(&s, src + i, 8);
        std::memcpy(&d, dst + i, 8);
        const std::uint64_t x = s ^ keys;
        const std::uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);  // 0x80 where s == key
        const std::uint64_t mask = (zero >> 7) * 0xFF;
        const std::uint64_t r = (d & mask) | (s & ~mask);
        std::memcpy(dst + i, &r, 8);
    }
    for (; i < count; ++i) {
        if (src[i] != key) dst[i] = src[i];
    }
}

#ifdef PLENOVA_X86
void TransparentRowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t count,
                        std::uint8_t key) {
    const __m128i keys = _mm_set1_epi8(static_cast<char>(key));
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        const __m128i m = _mm_cmpeq_epi8(s, keys);
        const __m128i r = _mm_or_si128(_mm_and_si128(m, d), _mm_andnot_si128(m, s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), r);
    }
    TransparentRowPortable(dst + i, src + i, count - i, key);
}

// Self-contained (no call into the SSE2 version): mixing VEX and legacy SSE code with the upper
// halves of the vector registers in use stalls the core.
__attribute__((target("avx2"))) void TransparentRowAvx2(std::uint8_t* dst, const std::uint8_t* src,
                                                        std::size_t count, std::uint8_t key) {
    const __m256i keys = _mm256_set1_epi8(static_cast<char>(key));
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
        const __m256i m = _mm256_cmpeq_epi8(s, keys);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_blendv_epi8(s, d, m));
    }
    if (i + 16 <= count) {
        const __m128i k = _mm256_castsi256_si128(keys);
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_blendv_epi8(s, d, _mm_cmpeq_epi8(s, k)));
        i += 16;
    }
    for (; i < count; ++i) {
        if (src[i] != key) dst[i] = src[i];
    }
    _mm256_zeroupper();
}
#endif

// ---- Colour expansion --------------------------------------------------------------------

// The colour table split into four byte planes (blue, green, red, top byte), for lookups that
// are done 64 at a time with byte permutes.
struct ExpandTable {
    const std::uint32_t* words = nullptr;
    alignas(64) std::uint8_t planes[4][256];
};

void PrepareExpand(const std::uint32_t* table, ExpandTable& t) {
    t.words = table;
    for (int i = 0; i < 256; ++i) {
        for (int p = 0; p < 4; ++p) t.planes[p][i] = static_cast<std::uint8_t>(table[i] >> (8 * p));
    }
}

void ExpandRowScalar(const std::uint8_t* src, const ExpandTable& t, std::uint32_t* dst,
                     std::size_t count) {
    const std::uint32_t* table = t.words;
    std::size_t i = 0;
    // Eight indexes per load; the lookups are independent, so they overlap in the core.
    for (; i + 8 <= count; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, src + i, 8);
        dst[i + 0] = table[v & 0xFF];
        dst[i + 1] = table[(v >> 8) & 0xFF];
        dst[i + 2] = table[(v >> 16) & 0xFF];
        dst[i + 3] = table[(v >> 24) & 0xFF];
        dst[i + 4] = table[(v >> 32) & 0xFF];
        dst[i + 5] = table[(v >> 40) & 0xFF];
        dst[i + 6] = table[(v >> 48) & 0xFF];
        dst[i + 7] = table[v >> 56];
    }
    for (; i < count; ++i) dst[i] = table[src[i]];
}

#ifdef PLENOVA_X86
// GCC 12's own permute intrinsics trip its uninitialised-value warning (an undefined
// pass-through operand inside the header); the operand is never read.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// 64 pixels per round: each byte plane is looked up with two 128-entry byte permutes and a
// blend on the index's top bit, and the planes are interleaved into 32-bit pixels. The indexes
// are first reordered so that the in-lane interleaving leaves the pixels in order.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void ExpandRowVbmi(
    const std::uint8_t* src, const ExpandTable& t, std::uint32_t* dst, std::size_t count) {
    alignas(64) std::uint8_t order[64];
    for (int p = 0; p < 64; ++p) {
        const int lane = p / 16, k = (p / 4) % 4, e = p % 4;
        order[p] = static_cast<std::uint8_t>(16 * k + 4 * lane + e);
    }
    const __m512i reorder = _mm512_load_si512(order);
    __m512i lo[4], hi[4], top[4], end[4];
    for (int p = 0; p < 4; ++p) {
        lo[p] = _mm512_load_si512(t.planes[p]);
        hi[p] = _mm512_load_si512(t.planes[p] + 64);
        top[p] = _mm512_load_si512(t.planes[p] + 128);
        end[p] = _mm512_load_si512(t.planes[p] + 192);
    }
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i idx = _mm512_permutexvar_epi8(reorder, _mm512_loadu_si512(src + i));
        const __mmask64 upper = _mm512_movepi8_mask(idx);
        __m512i plane[4];
        for (int p = 0; p < 4; ++p) {
            const __m512i a = _mm512_permutex2var_epi8(lo[p], idx, hi[p]);
            const __m512i b = _mm512_permutex2var_epi8(top[p], idx, end[p]);
            plane[p] = _mm512_mask_blend_epi8(upper, a, b);
        }
        const __m512i bgLo = _mm512_unpacklo_epi8(plane[0], plane[1]);
        const __m512i bgHi = _mm512_unpackhi_epi8(plane[0], plane[1]);
        const __m512i raLo = _mm512_unpacklo_epi8(plane[2], plane[3]);
        const __m512i raHi = _mm512_unpackhi_epi8(plane[2], plane[3]);
        _mm512_storeu_si512(dst + i, _mm512_unpacklo_epi16(bgLo, raLo));
        _mm512_storeu_si512(dst + i + 16, _mm512_unpackhi_epi16(bgLo, raLo));
        _mm512_storeu_si512(dst + i + 32, _mm512_unpacklo_epi16(bgHi, raHi));
        _mm512_storeu_si512(dst + i + 48, _mm512_unpackhi_epi16(bgHi, raHi));
    }
    for (; i < count; ++i) dst[i] = t.words[src[i]];
    _mm256_zeroupper();
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

#ifdef PLENOVA_X86
// 32 pixels per round with four 8-lane gathers from the colour table. Fast where gathers are
// (most Intel cores), slow where they are split into single loads (several AMD cores): chosen
// only when it wins the calibration below.
__attribute__((target("avx2"))) void ExpandRowGather(const std::uint8_t* src,
                                                     const ExpandTable& t, std::uint32_t* dst,
                                                     std::size_t count) {
    const auto* table = reinterpret_cast<const int*>(t.words);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
        const __m256i a = _mm256_i32gather_epi32(table, _mm256_cvtepu8_epi32(lo), 4);
        const __m256i b =
            _mm256_i32gather_epi32(table, _mm256_cvtepu8_epi32(_mm_srli_si128(lo, 8)), 4);
        const __m256i c = _mm256_i32gather_epi32(table, _mm256_cvtepu8_epi32(hi), 4);
        const __m256i d =
            _mm256_i32gather_epi32(table, _mm256_cvtepu8_epi32(_mm_srli_si128(hi, 8)), 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), a);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 8), b);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 16), c);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i + 24), d);
    }
    for (; i < count; ++i) dst[i] = t.words[src[i]];
    _mm256_zeroupper();
}
#endif

using ExpandRowFn = void (*)(const std::uint8_t*, const ExpandTable&, std::uint32_t*, std::size_t);

// Which kernel is fastest depends on the core, not only on what it offers (a gather or a byte
// permute costs very differently across x86-64 kinds): each candidate the processor can run
// expands the same rows a few times at start, and the fastest is kept. About a millisecond.
ExpandRowFn ChooseExpandRow() {
    std::vector<ExpandRowFn> candidates{ExpandRowScalar};
#ifdef PLENOVA_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) candidates.push_back(ExpandRowGather);
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi")) {
        candidates.push_back(ExpandRowVbmi);
    }
#endif
    if (candidates.size() == 1) return candidates.front();
    constexpr std::size_t kPixels = 8192;
    std::vector<std::uint8_t> src(kPixels);
    std::uint32_t state = 2463534242u;
    for (auto& b : src) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<std::uint8_t>(state);
    }
    std::vector<std::uint32_t> words(256), dst(kPixels);
    for (std::uint32_t k = 0; k < 256; ++k) words[k] = 0xFF000000u | k * 0x010101u;
    ExpandTable table;
    PrepareExpand(words.data(), table);
    ExpandRowFn best = candidates.front();
    auto bestTime = std::chrono::steady_clock::duration::max();
    // Rounds alternate between the candidates, so a busy moment of the machine hits them alike.
    std::vector<std::chrono::steady_clock::duration> fastest(candidates.size(), bestTime);
    for (int round = 0; round < 6; ++round) {
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            const auto start = std::chrono::steady_clock::now();
            for (int rep = 0; rep < 4; ++rep) candidates[c](src.data(), table, dst.data(), kPixels);
            fastest[c] = std::min(fastest[c], std::chrono::steady_clock::now() - start);
        }
    }
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        if (fastest[c] < bestTime) {
            bestTime = fastest[c];
            best = candidates[c];
        }
    }
    return best;
}

ExpandRowFn kExpandRow = ChooseExpandRow();

using TransparentRowFn = void (*)(std::uint8_t*, const std::uint8_t*, std::size_t, std::uint8_t);

TransparentRowFn ChooseTransparentRow() {
#ifdef PLENOVA_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return TransparentRowAvx2;
    return TransparentRowSse2;
#else
    return TransparentRowPortable;
#endif
}

TransparentRowFn kTransparentRow = ChooseTransparentRow();

}  // namespace

void SetKernelLevel(KernelLevel level) {
    switch (level) {
        case KernelLevel::Portable:
            kTransparentRow = TransparentRowPortable;
            kExpandRow = ExpandRowScalar;
            break;
        case KernelLevel::Baseline:
#ifdef PLENOVA_X86
            kTransparentRow = TransparentRowSse2;
#else
            kTransparentRow = TransparentRowPortable;
#endif
            kExpandRow = ExpandRowScalar;
            break;
        case KernelLevel::Best:
            kTransparentRow = ChooseTransparentRow();
            kExpandRow = ChooseExpandRow();
            break;
        case KernelLevel::Avx2:
            kTransparentRow = ChooseTransparentRow();
#ifdef PLENOVA_X86
            kExpandRow = __builtin_cpu_supports("avx2") ? ExpandRowGather : ExpandRowScalar;
#else
            kExpandRow = ExpandRowScalar;
#endif
            break;
    }
}

const char* ExpandKernelName() {
#ifdef PLENOVA_X86
    if (kExpandRow == ExpandRowVbmi) return "avx512-vbmi";
    if (kExpandRow == ExpandRowGather) return "avx2-gather";
#endif
    return "scalar";
}

void SetRecommendedOrientation(int sign) { Orientation() = sign < 0 ? -1 : 1; }

void TransparentRow(std::uint8_t* dst, const std::uint8_t* src, std::size_t count,
                    std::uint8_t key) {
    kTransparentRow(dst, src, count, key);
}

void ExpandRow(const std::uint8_t* src, const std::uint32_t* table, std::uint32_t* dst,
               std::size_t count) {
    ExpandTable t;
    PrepareExpand(table, t);
    kExpandRow(src, t, dst, count);
}

gdi::HDC WinGCreateDC() { return gdi::CreateMemoryDC(); }

bool WinGRecommendDIBFormat(gdi::BitmapInfo* info) {
    if (!info) return false;
    info->bmiHeader = {};
    info->bmiHeader.biSize = 40;
    info->bmiHeader.biWidth = 1;
    info->bmiHeader.biHeight = Orientation();
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 8;
    info->bmiHeader.biCompression = gdi::BI_RGB;
    return true;
}

gdi::HBITMAP WinGCreateBitmap(gdi::HDC dc, const gdi::BitmapInfo* info,
                              std::span<std::uint8_t>* bits) {
    if (bits) *bits = {};
    if (!info || !bits || gdi::CurrentBitmap(dc) == 0) return 0;  // not a memory context
    const gdi::BitmapInfoHeader& h = info->bmiHeader;
    if (h.biBitCount != 8 || h.biPlanes != 1 || h.biCompression != gdi::BI_RGB) return 0;
    gdi::HBITMAP bitmap = gdi::CreateSurface8(h.biWidth, h.biHeight,
                                              std::span(info->bmiColors).first(256));
    if (gdi::Surface8* s = gdi::GetSurface8(bitmap)) *bits = s->pixels;
    return bitmap;
}

std::uint32_t WinGSetDIBColorTable(gdi::HDC dc, std::uint32_t start, std::uint32_t count,
                                   std::span<const gdi::RgbQuad> entries) {
    const gdi::HBITMAP bitmap = gdi::CurrentBitmap(dc);
    return gdi::SetSurfaceColors(bitmap, start, entries.first(std::min<std::size_t>(count, entries.size())));
}

bool WinGBitBlt(gdi::HDC dest, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, gdi::HDC src, std::int32_t srcX, std::int32_t srcY) {
    const gdi::Surface8* s = gdi::GetSurface8(gdi::CurrentBitmap(src));
    if (!s) return false;
    const Extent se = ExtentOf(*s);
    const std::int64_t w = std::max<std::int32_t>(width, 0);
    const std::int64_t h = std::max<std::int32_t>(height, 0);

    if (gdi::PixelTarget* target = gdi::TargetOf(dest)) {
        const gdi::XrgbView view = target->Pixels();
        if (!view.pixels || view.width < 0 || view.height < 0 || view.stride < view.width) {
            return false;
        }
        const Range cols = Clip(x, w, view.width, srcX, se.width);
        const Range rows = Clip(y, h, view.height, srcY, se.rows);
        if (cols.empty() || rows.empty()) return true;
        const std::int64_t srcCol = cols.lo - x + srcX;
        ExpandTable table;
        PrepareExpand(s->xrgb.data(), table);
        for (std::int64_t row = rows.lo; row < rows.hi; ++row) {
            const std::int64_t stored = StoredRow(se, row - y + srcY);
            kExpandRow(s->pixels.data() + stored * se.stride + srcCol, table,
                      view.pixels + row * view.stride + cols.lo,
                      static_cast<std::size_t>(cols.hi - cols.lo));
        }
        target->Present(static_cast<std::int32_t>(cols.lo), static_cast<std::int32_t>(rows.lo),
                        static_cast<std::int32_t>(cols.hi - cols.lo),
                        static_cast<std::int32_t>(rows.hi - rows.lo));
        return true;
    }

    gdi::Surface8* d = gdi::GetSurface8(gdi::CurrentBitmap(dest));
    if (!d) return false;
    const Extent de = ExtentOf(*d);
    const Range cols = Clip(x, w, de.width, srcX, se.width);
    const Range rows = Clip(y, h, de.rows, srcY, se.rows);
    if (cols.empty() || rows.empty()) return true;
    const std::int64_t srcCol = cols.lo - x + srcX;
    for (std::int64_t row = rows.lo; row < rows.hi; ++row) {
        std::memmove(d->pixels.data() + StoredRow(de, row) * de.stride + cols.lo,
                     s->pixels.data() + StoredRow(se, row - y + srcY) * se.stride + srcCol,
                     static_cast<std::size_t>(cols.hi - cols.lo));
    }
    return true;
}

bool CopyDIBitsFits(std::size_t dstSize, std::int32_t dstOffset, std::size_t srcSize,
                    std::int32_t srcOffset, std::int32_t width, std::int32_t rows,
                    std::int32_t dstStride, std::int32_t srcStride) {
    if (width < 0 || rows < 0) return false;
    if (width == 0 || rows == 0) return true;
    // Row offsets are linear in r, so the first and the last row bound all the others.
    const auto inside = [&](std::int64_t offset, std::int64_t stride, std::size_t size) {
        const std::int64_t last = offset + stride * (rows - 1);
        const std::int64_t limit = static_cast<std::int64_t>(size) - width;
        return offset >= 0 && offset <= limit && last >= 0 && last <= limit;
    };
    return inside(dstOffset, dstStride, dstSize) && inside(srcOffset, srcStride, srcSize);
}

bool CopyDIBits(std::span<std::uint8_t> dst, std::int32_t dstOffset,
                std::span<const std::uint8_t> src, std::int32_t srcOffset, std::int32_t width,
                std::int32_t rows, std::int32_t dstStride, std::int32_t srcStride) {
    if (width < 0 || rows < 0) return false;
    if (width == 0 || rows == 0) return true;
    if (!CopyDIBitsFits(dst.size(), dstOffset, src.size(), srcOffset, width, rows, dstStride,
                        srcStride)) {
        return false;
    }
    std::uint8_t* d = dst.data() + dstOffset;
    const std::uint8_t* s = src.data() + srcOffset;
    const bool overlap = dst.data() < src.data() + src.size() && src.data() < dst.data() + dst.size();
    for (std::int32_t r = 0; r < rows; ++r) {
        if (overlap) {
            std::memmove(d, s, static_cast<std::size_t>(width));
        } else {
            std::memcpy(d, s, static_cast<std::size_t>(width));
        }
        d += dstStride;
        s += srcStride;
    }
    return true;
}

std::int32_t TransparentDIBits(const gdi::BitmapInfo& dstInfo, std::span<std::uint8_t> dstBits,
                               std::int32_t x, std::int32_t y,
                               std::span<const std::uint8_t> srcBits,
                               const gdi::BitmapInfo& srcInfo, std::int32_t srcX,
                               std::int32_t srcY, std::int32_t /*mode*/,
                               std::uint8_t transparent) {
    Extent de, se;
    if (!Extent8(dstInfo.bmiHeader, dstBits.size(), de) ||
        !Extent8(srcInfo.bmiHeader, srcBits.size(), se)) {
        return 0;
    }
    const Range cols = Clip(x, se.width, de.width, srcX, se.width);
    const Range rows = Clip(y, se.rows, de.rows, srcY, se.rows);
    if (cols.empty() || rows.empty()) return 0;
    const std::int64_t srcCol = cols.lo - x + srcX;
    const auto count = static_cast<std::size_t>(cols.hi - cols.lo);
    for (std::int64_t row = rows.lo; row < rows.hi; ++row) {
        kTransparentRow(dstBits.data() + StoredRow(de, row) * de.stride + cols.lo,
                        srcBits.data() + StoredRow(se, row - y + srcY) * se.stride + srcCol,
                        count, transparent);
    }
    return static_cast<std::int32_t>(rows.hi - rows.lo);
}

}  // namespace plenova::wing
