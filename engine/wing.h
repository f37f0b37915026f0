// The off-screen drawing library: off-screen contexts and 8-bit surfaces, colour tables, block
// copies with strides, transparent drawing and the copy to a window.
//
// Memory is passed as spans, so every call knows the extent of what it may touch: whatever the
// arguments, no call reads or writes outside the spans and surfaces it is given. Coordinates of
// TransparentDIBits and WinGBitBlt are visual: x to the right and y downwards from the top-left
// corner of the picture, whichever order its rows are stored in.
#pragma once

#include <cstdint>
#include <span>

#include "platform/gdi.h"

namespace plenova::wing {

namespace gdi = plenova::platform::gdi;

// Sets the row order the service recommends for new surfaces: -1 top-down (the default, the
// order of a window's pixel rows) or +1 bottom-up. Process-wide, so tests can run both.
void SetRecommendedOrientation(int sign);

// A context for off-screen surfaces; released with gdi::DeleteDC. 0 on failure.
gdi::HDC WinGCreateDC();
// Fills the header with the recommended format (40-byte header, width 1, height +1 or -1,
// 1 plane, 8 bits, uncompressed). False for a null pointer.
bool WinGRecommendDIBFormat(gdi::BitmapInfo* info);
// Creates an 8-bit surface of the header's width and height (whose sign gives the row order)
// with the block's colour table. `bits` receives the pixel memory (RowBytes x abs(height)
// bytes, valid until the handle is deleted with gdi::DeleteObject). 0 on failure, when `bits`
// is set empty.
gdi::HBITMAP WinGCreateBitmap(gdi::HDC dc, const gdi::BitmapInfo* info,
                              std::span<std::uint8_t>* bits);
// Replaces colour-table entries start .. start+count-1 of the surface selected into the context
// from `entries` (blue-green-red-0). Returns the number of entries set.
std::uint32_t WinGSetDIBColorTable(gdi::HDC dc, std::uint32_t start, std::uint32_t count,
                                   std::span<const gdi::RgbQuad> entries);
// Copies the rectangle (srcX, srcY, width, height) of the surface selected into `src` to
// (x, y) of `dest`. A target (window) context receives the pixels expanded through the
// surface's colour table into 32-bit XRGB; a memory context receives the 8-bit indexes.
// Clipped to both. False for invalid contexts.
bool WinGBitBlt(gdi::HDC dest, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, gdi::HDC src, std::int32_t srcX, std::int32_t srcY);

// For r = 0 .. rows-1 copies `width` bytes from src + srcOffset + r * srcStride to
// dst + dstOffset + r * dstStride. Strides may be negative. When any row would lie outside its
// span, or width or rows is negative, nothing is copied and the result is false.
bool CopyDIBits(std::span<std::uint8_t> dst, std::int32_t dstOffset,
                std::span<const std::uint8_t> src, std::int32_t srcOffset, std::int32_t width,
                std::int32_t rows, std::int32_t dstStride, std::int32_t srcStride);

// Whether CopyDIBits with these arguments stays inside spans of the given sizes.
bool CopyDIBitsFits(std::size_t dstSize, std::int32_t dstOffset, std::size_t srcSize,
                    std::int32_t srcOffset, std::int32_t width, std::int32_t rows,
                    std::int32_t dstStride, std::int32_t srcStride);

// Draws the 8-bit source picture into the 8-bit destination with the source point (srcX, srcY)
// at (x, y); source pixels equal to `transparent` leave the destination as it was. Whatever
// lies outside the destination is clipped. Pictures that are not uncompressed 8-bit, or whose
// bits are shorter than their header says, are not drawn. Every mode draws the same way.
// Returns the number of rows drawn.
std::int32_t TransparentDIBits(const gdi::BitmapInfo& dstInfo, std::span<std::uint8_t> dstBits,
                               std::int32_t x, std::int32_t y,
                               std::span<const std::uint8_t> srcBits,
                               const gdi::BitmapInfo& srcInfo, std::int32_t srcX, std::int32_t srcY,
                               std::int32_t mode, std::uint8_t transparent);

// The inner loops run the best code for the processor (AVX2, AVX-512 VBMI), chosen at start.
// Tests and benchmarks can fall back to the x86-64 baseline (SSE2 and scalar code) or to plain
// portable code.
// Avx2 runs the AVX2 kernels (the gather expansion among them) where the processor has AVX2,
// whether or not they won the calibration, so that each is tested and measured.
enum class KernelLevel { Portable, Baseline, Best, Avx2 };
void SetKernelLevel(KernelLevel level);

// The colour expansion that Best runs, chosen by timing the candidates at start ("scalar",
// "avx2-gather" or "avx512-vbmi").
const char* ExpandKernelName();

// The inner loops, exposed for tests and benchmarks.
// dst[i] = table[src[i]] for i < count.
void ExpandRow(const std::uint8_t* src, const std::uint32_t* table, std::uint32_t* dst,
               std::size_t count);
// dst[i] = src[i] unless src[i] == key, for i < count.
void TransparentRow(std::uint8_t* dst, const std::uint8_t* src, std::size_t count,
                    std::uint8_t key);

}  // namespace plenova::wing
