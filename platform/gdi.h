// A small graphics device interface in software: palettes, drawing contexts and 8-bit surfaces
// addressed by 32-bit handles, as the classic desktop offered them.
//
// Nothing here touches a real display. The screen is modelled as an 8-bit palettised display
// whose system palette holds the 20 static colours of the classic 256-colour display (10 at each
// end); SetSystemPaletteUse switches the static colours off (2 static colours, black and white)
// or completely. A window is reached through a "target" drawing context that writes 32-bit XRGB
// pixels into a buffer the window provides (PixelTarget), so a toolkit window can show them
// without further conversion.
//
// Handles are non-zero 32-bit values that are never reused while the process runs; a zero,
// stale or wrong-kind handle makes a call fail with its documented failure value, never crash.
// The service belongs to the program's single GUI thread.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/large_memory.h"

namespace plenova::platform::gdi {

static_assert(std::endian::native == std::endian::little,
              "bitmap and palette blocks are laid out little-endian");

using Handle = std::uint32_t;  // any object
using HPALETTE = Handle;
using HBITMAP = Handle;
using HDC = Handle;

// One palette entry: red, green, blue, flags (PC_* below). As a 32-bit "colour word" it reads
// red in bits 0-7, green 8-15, blue 16-23, flags 24-31.
struct PaletteEntry {
    std::uint8_t peRed = 0;
    std::uint8_t peGreen = 0;
    std::uint8_t peBlue = 0;
    std::uint8_t peFlags = 0;
    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};
static_assert(sizeof(PaletteEntry) == 4);

inline constexpr std::uint8_t PC_RESERVED = 1;
inline constexpr std::uint8_t PC_EXPLICIT = 2;
inline constexpr std::uint8_t PC_NOCOLLAPSE = 4;

constexpr std::uint32_t ToColorWord(PaletteEntry e) noexcept {
    return std::uint32_t{e.peRed} | std::uint32_t{e.peGreen} << 8 | std::uint32_t{e.peBlue} << 16 |
           std::uint32_t{e.peFlags} << 24;
}
constexpr PaletteEntry FromColorWord(std::uint32_t w) noexcept {
    return {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
            static_cast<std::uint8_t>(w >> 16), static_cast<std::uint8_t>(w >> 24)};
}

// A colour-table entry of a device-independent bitmap: blue, green, red, reserved. As a 32-bit
// word blue is in bits 0-7, which is also the XRGB pixel layout.
struct RgbQuad {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
    friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};
static_assert(sizeof(RgbQuad) == 4);

// The 40-byte info header of a device-independent bitmap, in file order.
struct BitmapInfoHeader {
    std::int32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;  // negative: stored rows run top-down
    std::int16_t biPlanes = 0;
    std::int16_t biBitCount = 0;
    std::int32_t biCompression = 0;
    std::int32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::int32_t biClrUsed = 0;
    std::int32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

inline constexpr std::int32_t BI_RGB = 0;
inline constexpr std::int32_t BI_RLE8 = 1;
inline constexpr std::int32_t BI_RLE4 = 2;

// The bitmap-info block of this system: the header and a colour table of 257 entries
// (1068 bytes).
inline constexpr std::size_t kColorTableEntries = 257;
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    std::array<RgbQuad, kColorTableEntries> bmiColors{};
};
static_assert(sizeof(BitmapInfo) == 1068);

// Bytes per stored row of a bitmap, ((bits x width + 31) \ 32) x 4, computed wide; negative or
// absurd inputs give a value the callers reject (no overflow here).
constexpr std::int64_t RowBytes(std::int64_t bitsPerPixel, std::int64_t width) noexcept {
    return ((bitsPerPixel * width + 31) / 32) * 4;
}

// ---- Objects -----------------------------------------------------------------------------

// Creates a logical palette from its entries (1 to 1024 of them); 0 on failure.
HPALETTE CreatePalette(std::span<const PaletteEntry> entries);
// Deletes a palette or a bitmap. False for a zero or unknown handle, a drawing context, a stock
// object, or a bitmap that is still selected into a context.
bool DeleteObject(Handle object);
// Copies entries start .. start+count-1 of the palette into `out` (at most out.size() entries,
// and only entries that exist). Returns the number copied; 0 on failure.
std::uint32_t GetPaletteEntries(HPALETTE palette, std::uint32_t start, std::uint32_t count,
                                std::span<PaletteEntry> out);
// Replaces entries start .. of the palette from `entries` (at most count of them, and only
// entries that exist). Returns the number set; 0 on failure.
std::uint32_t SetPaletteEntries(HPALETTE palette, std::uint32_t start, std::uint32_t count,
                                std::span<const PaletteEntry> entries);
// Replaces entries of the palette at once as palette animation does. The software display has
// no hardware palette to reprogram, so animation is an immediate replacement of colours and
// flags. False on failure.
bool AnimatePalette(HPALETTE palette, std::uint32_t start, std::uint32_t count,
                    std::span<const PaletteEntry> entries);
// Number of entries of a palette; 0 for an invalid handle.
std::uint32_t PaletteSize(HPALETTE palette);
// The stock default palette (never deleted).
HPALETTE DefaultPalette();

// ---- Display and system palette -------------------------------------------------------------

inline constexpr std::uint32_t SYSPAL_ERROR = 0;
inline constexpr std::uint32_t SYSPAL_STATIC = 1;
inline constexpr std::uint32_t SYSPAL_NOSTATIC = 2;
inline constexpr std::uint32_t SYSPAL_NOSTATIC256 = 3;

// GetDeviceCaps indexes answered; every other index gives 0.
inline constexpr int BITSPIXEL = 12;
inline constexpr int PLANES = 14;
inline constexpr int NUMCOLORS = 24;
inline constexpr int RASTERCAPS = 38;
inline constexpr int SIZEPALETTE = 104;
inline constexpr int NUMRESERVED = 106;
inline constexpr int COLORRES = 108;
inline constexpr int RC_PALETTE = 0x0100;

// The screen's drawing context (window 0 only); ReleaseDC gives it back (1 on success).
HDC GetDC(std::uint32_t window);
int ReleaseDC(std::uint32_t window, HDC dc);
// System-palette use of the display (SYSPAL_*; 0 for an invalid context) and its setting, which
// returns the previous use (0 and no change for an invalid context or value).
std::uint32_t GetSystemPaletteUse(HDC dc);
std::uint32_t SetSystemPaletteUse(HDC dc, std::uint32_t use);
// Device capabilities of the 8-bit palettised display: NUMCOLORS is the number of static
// colours in use (20, 2 or 0), BITSPIXEL 8, SIZEPALETTE 256, NUMRESERVED 20, RASTERCAPS
// RC_PALETTE, PLANES 1, COLORRES 18. 0 for an invalid context.
int GetDeviceCaps(HDC dc, int index);
// Entries of the 256-entry system palette: the static colours at both ends, between them the
// colours of the palette realised last (black before any). Flags read 0.
std::uint32_t GetSystemPaletteEntries(HDC dc, std::uint32_t start, std::uint32_t count,
                                      std::span<PaletteEntry> out);
// The 20 static colours of the classic 256-colour display, system-palette order (entries 0-9,
// then 246-255).
const std::array<PaletteEntry, 20>& StaticColors();

// ---- Surfaces and drawing contexts ------------------------------------------------------------

// An 8-bit surface ("DIB section") owned by the service. The pixel memory holds
// RowBytes(8, width) x abs(height) bytes, stored rows first to last (bottom-up when height > 0).
struct Surface8 {
    std::int32_t width = 0;
    std::int32_t height = 0;  // signed, as in the info header
    std::int32_t stride = 0;  // bytes per stored row
    std::span<std::uint8_t> pixels;
    std::array<RgbQuad, 256> colors{};  // colour table
    // The colour table as opaque XRGB words (0xFFRRGGBB), kept in step with `colors`.
    std::array<std::uint32_t, 256> xrgb{};
};

// Creates an 8-bit surface with a colour table (entries beyond 256 are ignored; missing ones
// are black). Width 1 .. 32767, height -32767 .. 32767 but not 0; 0 on failure.
HBITMAP CreateSurface8(std::int32_t width, std::int32_t height,
                       std::span<const RgbQuad> colors = {});
// The surface of a bitmap handle, valid until the handle is deleted; nullptr when invalid.
Surface8* GetSurface8(HBITMAP bitmap);
// Replaces colour-table entries start .. of the surface; returns the number set.
std::uint32_t SetSurfaceColors(HBITMAP bitmap, std::uint32_t start,
                               std::span<const RgbQuad> colors);

// A window's pixel buffer, to which a target drawing context writes 32-bit XRGB pixels
// (0xFFRRGGBB, the layout of an opaque 32-bit toolkit image).
struct XrgbView {
    std::uint32_t* pixels = nullptr;  // first pixel of the top row
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::ptrdiff_t stride = 0;  // pixels from one row to the next
};
class PixelTarget {
public:
    virtual ~PixelTarget() = default;
    // The buffer to draw into; it must stay valid until Present returns.
    virtual XrgbView Pixels() = 0;
    // The rectangle (in target pixels, already clipped) has been drawn.
    virtual void Present(std::int32_t x, std::int32_t y, std::int32_t width,
                         std::int32_t height) = 0;
};

// A target over a buffer the window owns (for example a toolkit's 32-bit image of the window's
// size): `pixels` says where to draw, `present` is told what was drawn (to schedule a repaint).
// Neither allocates per frame.
class CallbackPixelTarget : public PixelTarget {
public:
    using PixelsFn = std::function<XrgbView()>;
    using PresentFn = std::function<void(std::int32_t x, std::int32_t y, std::int32_t width,
                                         std::int32_t height)>;
    CallbackPixelTarget(PixelsFn pixels, PresentFn present)
        : pixels_(std::move(pixels)), present_(std::move(present)) {}
    XrgbView Pixels() override { return pixels_ ? pixels_() : XrgbView{}; }
    void Present(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) override {
        if (present_) present_(x, y, width, height);
    }

private:
    PixelsFn pixels_;
    PresentFn present_;
};

// A plain 32-bit pixel buffer that a target context can draw into (tests, tools, benchmarks).
class XrgbBuffer : public PixelTarget {
public:
    XrgbBuffer(std::int32_t width, std::int32_t height);
    XrgbView Pixels() override;
    void Present(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override { ++presents_; }
    std::uint32_t At(std::int32_t x, std::int32_t y) const;
    std::span<const std::uint32_t> Data() const { return data_; }
    int Presents() const { return presents_; }

private:
    std::int32_t width_;
    std::int32_t height_;
    LargeArray<std::uint32_t> storage_;
    std::span<std::uint32_t> data_;
    int presents_ = 0;
};

// A memory context for off-screen surfaces; a 1 x 1 stock bitmap is selected into it at first.
HDC CreateMemoryDC();
// A context that draws into a window's pixel buffer. Released with DeleteDC or ReleaseDC.
HDC CreateTargetDC(std::shared_ptr<PixelTarget> target);
// Deletes a memory or target context (the screen context is given back with ReleaseDC); false
// for an invalid handle.
bool DeleteDC(HDC dc);
// Selects a bitmap into a memory context; returns the bitmap selected before, 0 on failure (a
// bitmap can be selected into one context at a time).
Handle SelectObject(HDC dc, Handle object);
// The bitmap selected into a memory context, 0 when none or invalid.
HBITMAP CurrentBitmap(HDC dc);
// The window target of a target context, nullptr otherwise.
PixelTarget* TargetOf(HDC dc);
// Selects a palette into a context, returning the previous one (the stock default palette at
// first); 0 on failure. RealizePalette maps the selected palette into the system palette (its
// entries between the static colours) and returns the number of entries mapped.
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
std::uint32_t RealizePalette(HDC dc);

// Stretching mode of a context (BLACKONWHITE 1 at first); returns the previous mode, 0 on
// failure. The software stretch samples the nearest pixel whatever the mode.
inline constexpr int BLACKONWHITE = 1;
inline constexpr int WHITEONBLACK = 2;
inline constexpr int COLORONCOLOR = 3;
inline constexpr int HALFTONE = 4;
int SetStretchBltMode(HDC dc, int mode);

inline constexpr std::uint32_t DIB_RGB_COLORS = 0;
inline constexpr std::uint32_t DIB_PAL_COLORS = 1;
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;

// Draws a device-independent bitmap stretched into a rectangle of the context. The source
// rectangle is in image coordinates with the origin at the image's lower-left corner for a
// bottom-up image and its upper-left corner for a top-down one, as the classic service has it.
// Sources: uncompressed 1, 4, 8 or 24 bits per pixel. A target context receives the colours
// (through the colour table, or for DIB_PAL_COLORS through 16-bit indexes into the context's
// palette); a memory context with an 8-bit surface receives 8-bit sources as indexes. Only
// SRCCOPY is done; sizes must be positive. Returns the number of source rows used, 0 when
// nothing was drawn. Never reads or writes outside the given bits or the surface.
int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, std::span<const std::uint8_t> bits,
                  const BitmapInfo& info, std::uint32_t usage, std::uint32_t rop);

// Number of live objects of the service (palettes, bitmaps, contexts), for leak checks.
std::size_t LiveObjectCount();

}  // namespace plenova::platform::gdi
