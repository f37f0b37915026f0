#include "platform/gdi.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <unordered_map>
#include <variant>
#include <vector>

namespace plenova::platform::gdi {
namespace {

constexpr std::size_t kMaxPaletteEntries = 1024;
constexpr std::int32_t kMaxSurfaceSide = 32767;

struct PaletteObject {
    std::vector<PaletteEntry> entries;
    bool stock = false;
};

struct BitmapObject {
    Surface8 surface;
    LargeArray<std::uint8_t> storage;
    HDC selectedInto = 0;
    bool stock = false;
};

enum class DcKind { Screen, Memory, Target };

struct DcObject {
    DcKind kind = DcKind::Memory;
    HBITMAP bitmap = 0;
    HPALETTE palette = 0;
    int stretchMode = BLACKONWHITE;
    std::shared_ptr<PixelTarget> target;
};

using Object = std::variant<PaletteObject, BitmapObject, DcObject>;

struct State {
    std::unordered_map<Handle, Object> objects;
    Handle next = 0x00010000;
    HPALETTE defaultPalette = 0;
    HBITMAP stockBitmap = 0;
    HDC screen = 0;
    std::uint32_t paletteUse = SYSPAL_STATIC;
    // The colours between the static ones, as the palette realised last left them.
    std::array<PaletteEntry, 256> realized{};
};

State& S() {
    static State state;
    return state;
}

Handle Insert(Object object) {
    State& s = S();
    Handle h = s.next++;
    s.objects.emplace(h, std::move(object));
    return h;
}

template <typename T>
T* Find(Handle h) {
    if (h == 0) return nullptr;
    auto& objects = S().objects;
    auto it = objects.find(h);
    if (it == objects.end()) return nullptr;
    return std::get_if<T>(&it->second);
}

std::array<PaletteEntry, 20> MakeStaticColors() {
    return {{{0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
             {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
             {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
             {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
             {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0}}};
}

int StaticCount(std::uint32_t use) {
    switch (use) {
        case SYSPAL_NOSTATIC: return 2;
        case SYSPAL_NOSTATIC256: return 0;
        default: return 20;
    }
}

PaletteEntry SystemEntry(std::uint32_t i) {
    const State& s = S();
    const auto& statics = StaticColors();
    switch (s.paletteUse) {
        case SYSPAL_NOSTATIC:
            if (i == 0) return statics[0];
            if (i == 255) return statics[19];
            break;
        case SYSPAL_NOSTATIC256: break;
        default:
            if (i < 10) return statics[i];
            if (i >= 246) return statics[i - 236];
            break;
    }
    PaletteEntry e = s.realized[i];
    e.peFlags = 0;
    return e;
}

std::uint32_t ToXrgb(RgbQuad q) {
    return 0xFF000000u | std::uint32_t{q.rgbRed} << 16 | std::uint32_t{q.rgbGreen} << 8 | q.rgbBlue;
}

DcObject* FindDc(HDC dc) { return Find<DcObject>(dc); }

}  // namespace

const std::array<PaletteEntry, 20>& StaticColors() {
    static const std::array<PaletteEntry, 20> colors = MakeStaticColors();
    return colors;
}

// ---- Palettes ------------------------------------------------------------------------------

HPALETTE CreatePalette(std::span<const PaletteEntry> entries) {
    if (entries.empty() || entries.size() > kMaxPaletteEntries) return 0;
    return Insert(PaletteObject{{entries.begin(), entries.end()}, false});
}

HPALETTE DefaultPalette() {
    State& s = S();
    if (s.defaultPalette == 0) {
        // The stock palette holds the 20 static colours.
        const auto& statics = StaticColors();
        s.defaultPalette = Insert(PaletteObject{{statics.begin(), statics.end()}, true});
    }
    return s.defaultPalette;
}

bool DeleteObject(Handle object) {
    if (object == 0) return false;
    auto& objects = S().objects;
    auto it = objects.find(object);
    if (it == objects.end()) return false;
    if (auto* p = std::get_if<PaletteObject>(&it->second)) {
        if (p->stock) return false;
        const HPALETTE stock = DefaultPalette();  // made before the walk: it may insert
        for (auto& [h, o] : objects) {
            if (auto* dc = std::get_if<DcObject>(&o); dc && dc->palette == object) {
                dc->palette = stock;
            }
        }
        objects.erase(object);
        return true;
    }
    if (auto* b = std::get_if<BitmapObject>(&it->second)) {
        if (b->stock || b->selectedInto != 0) return false;
        objects.erase(it);
        return true;
    }
    return false;  // contexts are deleted with DeleteDC
}

std::uint32_t PaletteSize(HPALETTE palette) {
    auto* p = Find<PaletteObject>(palette);
    return p ? static_cast<std::uint32_t>(p->entries.size()) : 0;
}

std::uint32_t GetPaletteEntries(HPALETTE palette, std::uint32_t start, std::uint32_t count,
                                std::span<PaletteEntry> out) {
    auto* p = Find<PaletteObject>(palette);
    if (!p || start >= p->entries.size()) return 0;
    std::uint64_t n = std::min<std::uint64_t>({count, out.size(), p->entries.size() - start});
    std::copy_n(p->entries.begin() + start, n, out.begin());
    return static_cast<std::uint32_t>(n);
}

std::uint32_t SetPaletteEntries(HPALETTE palette, std::uint32_t start, std::uint32_t count,
                                std::span<const PaletteEntry> entries) {
    auto* p = Find<PaletteObject>(palette);
    if (!p || p->stock || start >= p->entries.size()) return 0;
    std::uint64_t n = std::min<std::uint64_t>({count, entries.size(), p->entries.size() - start});
    std::copy_n(entries.begin(), n, p->entries.begin() + start);
    return static_cast<std::uint32_t>(n);
}

bool AnimatePalette(HPALETTE palette, std::uint32_t start, std::uint32_t count,
                    std::span<const PaletteEntry> entries) {
    auto* p = Find<PaletteObject>(palette);
    if (!p || p->stock) return false;
    if (start >= p->entries.size()) return count == 0;
    return SetPaletteEntries(palette, start, count, entries) > 0 || count == 0;
}

// ---- Display -----------------------------------------------------------------------------

HDC GetDC(std::uint32_t window) {
    if (window != 0) return 0;
    State& s = S();
    if (s.screen == 0) {
        DcObject dc;
        dc.kind = DcKind::Screen;
        dc.palette = DefaultPalette();
        s.screen = Insert(std::move(dc));
    }
    return s.screen;
}

int ReleaseDC(std::uint32_t window, HDC dc) {
    if (auto* d = FindDc(dc)) {
        if (d->kind == DcKind::Screen) return window == 0 ? 1 : 0;
        if (d->kind == DcKind::Target) return DeleteDC(dc) ? 1 : 0;
    }
    return 0;
}

std::uint32_t GetSystemPaletteUse(HDC dc) { return FindDc(dc) ? S().paletteUse : SYSPAL_ERROR; }

std::uint32_t SetSystemPaletteUse(HDC dc, std::uint32_t use) {
    if (!FindDc(dc) || use < SYSPAL_STATIC || use > SYSPAL_NOSTATIC256) return SYSPAL_ERROR;
    std::uint32_t previous = S().paletteUse;
    S().paletteUse = use;
    return previous;
}

int GetDeviceCaps(HDC dc, int index) {
    if (!FindDc(dc)) return 0;
    switch (index) {
        case BITSPIXEL: return 8;
        case PLANES: return 1;
        case NUMCOLORS: return StaticCount(S().paletteUse);
        case RASTERCAPS: return RC_PALETTE;
        case SIZEPALETTE: return 256;
        case NUMRESERVED: return 20;
        case COLORRES: return 18;
        default: return 0;
    }
}

std::uint32_t GetSystemPaletteEntries(HDC dc, std::uint32_t start, std::uint32_t count,
                                      std::span<PaletteEntry> out) {
    if (!FindDc(dc) || start >= 256) return 0;
    std::uint64_t n = std::min<std::uint64_t>({count, out.size(), 256 - start});
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = SystemEntry(static_cast<std::uint32_t>(start + i));
    return static_cast<std::uint32_t>(n);
}

// ---- Surfaces -------------------------------------------------------------------------------

HBITMAP CreateSurface8(std::int32_t width, std::int32_t height, std::span<const RgbQuad> colors) {
    if (width < 1 || width > kMaxSurfaceSide || height == 0 || height < -kMaxSurfaceSide ||
        height > kMaxSurfaceSide) {
        return 0;
    }
    BitmapObject b;
    Surface8& s = b.surface;
    s.width = width;
    s.height = height;
    s.stride = static_cast<std::int32_t>(RowBytes(8, width));
    std::size_t size =
        static_cast<std::size_t>(s.stride) * static_cast<std::size_t>(std::abs(height));
    // Zeroed, and aligned to a cache line so that row copies and colour expansion run on
    // aligned data.
    b.storage = MakeLargeArray<std::uint8_t>(size);
    if (!b.storage) return 0;
    s.pixels = {b.storage.get(), size};
    std::size_t n = std::min<std::size_t>(colors.size(), 256);
    std::copy_n(colors.begin(), n, s.colors.begin());
    for (std::size_t i = 0; i < 256; ++i) s.xrgb[i] = ToXrgb(s.colors[i]);
    return Insert(std::move(b));
}

Surface8* GetSurface8(HBITMAP bitmap) {
    auto* b = Find<BitmapObject>(bitmap);
    return b ? &b->surface : nullptr;
}

std::uint32_t SetSurfaceColors(HBITMAP bitmap, std::uint32_t start,
                               std::span<const RgbQuad> colors) {
    Surface8* s = GetSurface8(bitmap);
    if (!s || start >= 256) return 0;
    std::size_t n = std::min<std::size_t>(colors.size(), 256 - start);
    for (std::size_t i = 0; i < n; ++i) {
        s->colors[start + i] = colors[i];
        s->xrgb[start + i] = ToXrgb(colors[i]);
    }
    return static_cast<std::uint32_t>(n);
}

XrgbBuffer::XrgbBuffer(std::int32_t width, std::int32_t height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
    std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    storage_ = MakeLargeArray<std::uint32_t>(n);
    if (!storage_) throw std::bad_alloc();
    data_ = {storage_.get(), n};
}

XrgbView XrgbBuffer::Pixels() { return {data_.data(), width_, height_, width_}; }

std::uint32_t XrgbBuffer::At(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return data_[static_cast<std::size_t>(y) * width_ + x];
}

// ---- Contexts -------------------------------------------------------------------------------

HDC CreateMemoryDC() {
    State& s = S();
    if (s.stockBitmap == 0) {
        s.stockBitmap = CreateSurface8(1, 1);
        Find<BitmapObject>(s.stockBitmap)->stock = true;
    }
    DcObject dc;
    dc.kind = DcKind::Memory;
    dc.palette = DefaultPalette();
    HDC h = Insert(std::move(dc));
    SelectObject(h, s.stockBitmap);
    return h;
}

HDC CreateTargetDC(std::shared_ptr<PixelTarget> target) {
    if (!target) return 0;
    DcObject dc;
    dc.kind = DcKind::Target;
    dc.palette = DefaultPalette();
    dc.target = std::move(target);
    return Insert(std::move(dc));
}

bool DeleteDC(HDC dc) {
    DcObject* d = FindDc(dc);
    if (!d || d->kind == DcKind::Screen) return false;
    if (auto* b = Find<BitmapObject>(d->bitmap)) b->selectedInto = 0;
    S().objects.erase(dc);
    return true;
}

Handle SelectObject(HDC dc, Handle object) {
    DcObject* d = FindDc(dc);
    if (!d) return 0;
    if (auto* p = Find<PaletteObject>(object)) {
        (void)p;
        return SelectPalette(dc, object, false);
    }
    auto* b = Find<BitmapObject>(object);
    if (!b || d->kind != DcKind::Memory) return 0;
    if (b->selectedInto != 0 && b->selectedInto != dc && !b->stock) return 0;
    HBITMAP previous = d->bitmap;
    if (auto* old = Find<BitmapObject>(previous)) old->selectedInto = 0;
    b->selectedInto = b->stock ? 0 : dc;
    d->bitmap = object;
    return previous;
}

HBITMAP CurrentBitmap(HDC dc) {
    DcObject* d = FindDc(dc);
    return d ? d->bitmap : 0;
}

PixelTarget* TargetOf(HDC dc) {
    DcObject* d = FindDc(dc);
    return d ? d->target.get() : nullptr;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool /*forceBackground*/) {
    DcObject* d = FindDc(dc);
    if (!d || !Find<PaletteObject>(palette)) return 0;
    HPALETTE previous = d->palette;
    d->palette = palette;
    return previous;
}

std::uint32_t RealizePalette(HDC dc) {
    DcObject* d = FindDc(dc);
    if (!d) return 0;
    auto* p = Find<PaletteObject>(d->palette);
    if (!p) return 0;
    State& s = S();
    int half = StaticCount(s.paletteUse) / 2;
    std::uint32_t mapped = 0;
    // Entry i of an identity palette lands in system entry i.
    for (int i = half; i < 256 - half && i < static_cast<int>(p->entries.size()); ++i) {
        s.realized[i] = p->entries[i];
        ++mapped;
    }
    return mapped;
}

int SetStretchBltMode(HDC dc, int mode) {
    DcObject* d = FindDc(dc);
    if (!d || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    int previous = d->stretchMode;
    d->stretchMode = mode;
    return previous;
}

namespace {

// Where StretchDIBits writes: a window's 32-bit pixels or a memory surface's 8-bit ones.
struct StretchTarget {
    std::uint32_t* out32 = nullptr;
    Surface8* out8 = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::ptrdiff_t stride = 0;  // of out32, in pixels
};

std::optional<StretchTarget> TargetOf(DcObject& d, int bpp) {
    StretchTarget t;
    if (d.kind == DcKind::Target) {
        XrgbView view = d.target->Pixels();
        t.out32 = view.pixels;
        t.width = view.width;
        t.height = view.height;
        t.stride = view.stride;
    } else if (d.kind == DcKind::Memory) {
        t.out8 = GetSurface8(d.bitmap);
        if (!t.out8 || bpp != 8) return std::nullopt;
        t.width = t.out8->width;
        t.height = std::abs(t.out8->height);
    }
    if (!t.out32 && !t.out8) return std::nullopt;
    return t;
}

bool IsStretchableHeader(const BitmapInfoHeader& h) {
    const int bpp = h.biBitCount;
    return h.biSize == 40 && h.biPlanes == 1 && h.biCompression == BI_RGB && h.biWidth > 0 &&
           h.biHeight != 0 && (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24);
}

// The colour of a colour-table index, from the table itself or through the selected palette.
std::uint32_t TableColour(const BitmapInfo& info, std::uint32_t usage,
                          const PaletteObject* palette, std::uint32_t index) {
    if (usage == DIB_RGB_COLORS) return ToXrgb(info.bmiColors[index]);
    std::uint16_t pal = 0;
    std::memcpy(&pal, reinterpret_cast<const std::uint8_t*>(info.bmiColors.data()) + 2 * index, 2);
    if (!palette || pal >= palette->entries.size()) return 0xFF000000u;
    const PaletteEntry& e = palette->entries[pal];
    return 0xFF000000u | std::uint32_t{e.peRed} << 16 | std::uint32_t{e.peGreen} << 8 | e.peBlue;
}

// The colour of source pixel `sx` of a stored row.
std::uint32_t SourceColour(const std::uint8_t* row, std::int64_t sx, int bpp,
                           const BitmapInfo& info, std::uint32_t usage,
                           const PaletteObject* palette) {
    switch (bpp) {
    case 1: return TableColour(info, usage, palette, (row[sx / 8] >> (7 - sx % 8)) & 1);
    case 4: return TableColour(info, usage, palette, (row[sx / 2] >> (sx % 2 ? 0 : 4)) & 15);
    case 8: return TableColour(info, usage, palette, row[sx]);
    default: {
        const std::uint8_t* p = row + sx * 3;
        return 0xFF000000u | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
    }
    }
}

}  // namespace

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, std::span<const std::uint8_t> bits,
                  const BitmapInfo& info, std::uint32_t usage, std::uint32_t rop) {
    DcObject* d = FindDc(dc);
    if (!d || rop != SRCCOPY || usage > DIB_PAL_COLORS) return 0;
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return 0;
    const BitmapInfoHeader& h = info.bmiHeader;
    if (!IsStretchableHeader(h)) return 0;
    const int bpp = h.biBitCount;
    const std::int64_t width = h.biWidth;
    const std::int64_t rows = h.biHeight < 0 ? -std::int64_t{h.biHeight} : h.biHeight;
    const std::int64_t stride = RowBytes(bpp, width);
    if (stride * rows > static_cast<std::int64_t>(bits.size())) return 0;
    const auto target = TargetOf(*d, bpp);
    if (!target) return 0;

    const std::int64_t x0 = std::max<std::int64_t>(xDest, 0);
    const std::int64_t x1 =
        std::min<std::int64_t>(std::int64_t{xDest} + destWidth, target->width);
    const std::int64_t y0 = std::max<std::int64_t>(yDest, 0);
    const std::int64_t y1 =
        std::min<std::int64_t>(std::int64_t{yDest} + destHeight, target->height);
    if (x0 >= x1 || y0 >= y1) return 0;

    // Source rectangle's top row, counted from the top of the picture.
    const bool bottomUp = h.biHeight > 0;
    const std::int64_t srcTop = bottomUp ? rows - (std::int64_t{ySrc} + srcHeight) : ySrc;
    const auto* palette = Find<PaletteObject>(d->palette);
    for (std::int64_t y = y0; y < y1; ++y) {
        std::int64_t vis = srcTop + (y - yDest) * srcHeight / destHeight;
        if (vis < 0 || vis >= rows) continue;
        const std::int64_t stored = bottomUp ? rows - 1 - vis : vis;
        const std::uint8_t* row = bits.data() + stored * stride;
        for (std::int64_t x = x0; x < x1; ++x) {
            std::int64_t sx = xSrc + (x - xDest) * srcWidth / destWidth;
            if (sx < 0 || sx >= width) continue;
            if (Surface8* out8 = target->out8) {
                const std::int64_t outRow = out8->height > 0 ? target->height - 1 - y : y;
                out8->pixels[static_cast<std::size_t>(outRow * out8->stride + x)] = row[sx];
            } else {
                target->out32[y * target->stride + x] =
                    SourceColour(row, sx, bpp, info, usage, palette);
            }
        }
    }
    if (target->out32) {
        d->target->Present(static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
                           static_cast<std::int32_t>(x1 - x0), static_cast<std::int32_t>(y1 - y0));
    }
    return srcHeight;
}

std::size_t LiveObjectCount() { return S().objects.size(); }

}  // namespace plenova::platform::gdi
