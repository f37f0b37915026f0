#include "engine/cpalette.h"

#include <algorithm>
#include <vector>

#include "base/errors.h"

namespace plenova::engine {
namespace {

constexpr Int16 kPalVersion = 0x300;
constexpr std::uint8_t kNoCollapse = gdi::PC_NOCOLLAPSE;

// The elements first .. first+count-1 of an array of `size` elements must exist.
void RequireRange(std::size_t size, std::int64_t first, std::int64_t count) {
    if (first < 0 || count < 0 || first + count > static_cast<std::int64_t>(size)) {
        throw SubscriptOutOfRangeError();
    }
}

void RequireIndex(std::size_t size, std::int64_t i) {
    if (i < 0 || i >= static_cast<std::int64_t>(size)) throw SubscriptOutOfRangeError();
}

std::uint8_t ToByte(float value) {
    Int16 v = RoundToInt16(value);
    if (v < 0 || v > 255) throw OverflowError();
    return static_cast<std::uint8_t>(v);
}

}  // namespace

CPalette::CPalette() {
    std::array<ColorWord, 257> black;
    black.fill(ColorWord{kNoCollapse} << 24);
    CreateIdentityPalette(black, 256);
}

CPalette::~CPalette() { DeletePlatformPalette(); }

void CPalette::DeletePlatformPalette() {
    if (hPal_ != 0) gdi::DeleteObject(hPal_);
    hPal_ = 0;
}

void CPalette::CreateFromBlock() {
    // The block holds 257 entries; a larger entry count would read past it.
    std::int64_t n = std::clamp<std::int64_t>(block_.palNumEntries, 0, 257);
    hPal_ = gdi::CreatePalette(std::span(block_.palPalEntry).first(static_cast<std::size_t>(n)));
}

void CPalette::set_hPal(gdi::HPALETTE pal) {
    DeletePlatformPalette();
    block_.palNumEntries = 256;
    block_.palVersion = kPalVersion;
    gdi::GetPaletteEntries(pal, 0, 256, block_.palPalEntry);
    CreateFromBlock();
}

void CPalette::ReCreate() {
    DeletePlatformPalette();
    CreateFromBlock();
}

void CPalette::Animate(Int16 iStart, Int16 iColors, std::span<const ColorWord> aRgb) {
    RequireIndex(aRgb.size(), iStart);
    Mul16(iColors, 4);
    RequireRange(aRgb.size(), iStart, iColors);
    RequireRange(block_.palPalEntry.size(), iStart, iColors);
    std::vector<gdi::PaletteEntry> entries(static_cast<std::size_t>(iColors));
    for (Int16 i = 0; i < iColors; ++i) entries[i] = gdi::FromColorWord(aRgb[iStart + i]);
    gdi::AnimatePalette(hPal_, static_cast<std::uint32_t>(iStart),
                        static_cast<std::uint32_t>(iColors), entries);
    std::copy(entries.begin(), entries.end(), block_.palPalEntry.begin() + iStart);
}

std::shared_ptr<CPalette> CPalette::Clone() const {
    auto copy = std::make_shared<CPalette>();
    std::array<ColorWord, 256> colors{};
    GetRgbColors(0, 256, colors);
    copy->SetRgbColors(0, 256, colors);
    return copy;
}

void CPalette::SetRgbColors(Int32 iStart, Int32 iColors, std::span<const ColorWord> aRgb) {
    RequireIndex(aRgb.size(), iStart);
    RequireRange(aRgb.size(), iStart, iColors);
    std::vector<gdi::PaletteEntry> entries(static_cast<std::size_t>(iColors));
    for (Int32 i = 0; i < iColors; ++i) entries[i] = gdi::FromColorWord(aRgb[iStart + i]);
    gdi::SetPaletteEntries(hPal_, static_cast<std::uint32_t>(iStart),
                           static_cast<std::uint32_t>(iColors), entries);
}

void CPalette::GetRgbColors(Int32 iStart, Int32 iColors, std::span<ColorWord> aRgb) const {
    RequireIndex(aRgb.size(), iStart);
    RequireRange(aRgb.size(), iStart, iColors);
    std::vector<gdi::PaletteEntry> entries(static_cast<std::size_t>(iColors));
    std::uint32_t got = gdi::GetPaletteEntries(hPal_, static_cast<std::uint32_t>(iStart),
                                               static_cast<std::uint32_t>(iColors), entries);
    // Entries the platform palette does not have leave the array as it was.
    for (std::uint32_t i = 0; i < got; ++i) aRgb[iStart + i] = gdi::ToColorWord(entries[i]);
}

void CPalette::FadeEntries(ColorWord rgbStart, ColorWord rgbStop, Int16 firstEntry, Int16 steps) {
    const auto channel = [](ColorWord w, ColorWord mask) {
        return static_cast<double>(static_cast<std::int64_t>(w & mask));
    };
    const float stepRed = ToSingle(Divide(channel(rgbStop, 0xFF) - channel(rgbStart, 0xFF), steps));
    const float stepGreen = ToSingle(
        Divide(channel(rgbStop, 0xFF00) - channel(rgbStart, 0xFF00), steps) / 256.0);
    const float stepBlue = ToSingle(
        Divide(channel(rgbStop, 0xFF0000) - channel(rgbStart, 0xFF0000), steps) / 65536.0);
    if (steps > 0) RequireRange(block_.palPalEntry.size(), firstEntry, steps);

    float red = static_cast<float>(rgbStart & 0xFF);
    float green = static_cast<float>((rgbStart >> 8) & 0xFF);
    float blue = static_cast<float>((rgbStart >> 16) & 0xFF);
    for (Int16 i = 0; i < steps; ++i) {
        gdi::PaletteEntry& e = block_.palPalEntry[firstEntry + i];
        e.peRed = ToByte(red);
        e.peGreen = ToByte(green);
        e.peBlue = ToByte(blue);
        red = red + stepRed;
        green = green + stepGreen;
        blue = blue + stepBlue;
    }
}

void CPalette::SetFlags(Int16 first, Int16 count, Int16 flags) {
    const Int16 last = Add16(first, count);
    if (flags < 0 || flags > 255) throw OverflowError();
    if (last < first) return;
    RequireIndex(block_.palPalEntry.size(), first);
    RequireIndex(block_.palPalEntry.size(), last);
    for (Int32 i = first; i <= last; ++i) {
        block_.palPalEntry[i].peFlags = static_cast<std::uint8_t>(flags);
    }
}

gdi::HPALETTE CPalette::CreateIdentityPalette(std::span<const ColorWord> aRgb, Int16 nColors) {
    auto& entries = block_.palPalEntry;
    const std::size_t blockSize = entries.size();
    block_.palVersion = kPalVersion;
    block_.palNumEntries = 256;
    const gdi::HDC screen = gdi::GetDC(0);

    if (gdi::GetSystemPaletteUse(screen) == gdi::SYSPAL_NOSTATIC) {
        for (Int32 j = 0; j < nColors; ++j) {
            RequireIndex(aRgb.size(), j);
            RequireIndex(blockSize, j);
            entries[j] = gdi::FromColorWord(aRgb[j]);
        }
        for (Int32 j = nColors; j <= 255; ++j) {
            RequireIndex(blockSize, j);
            entries[j].peFlags = kNoCollapse;
        }
        entries[255] = {255, 255, 255, 0};
        entries[0] = {0, 0, 0, 0};
    } else {
        const Int16 reserved = ToInt16(gdi::GetDeviceCaps(screen, gdi::NUMCOLORS));
        gdi::GetSystemPaletteEntries(screen, 0, 256, entries);
        const Int16 half = RoundToInt16(reserved / 2.0);
        for (Int32 j = 0; j < half; ++j) {
            RequireIndex(blockSize, j);
            entries[j].peFlags = 0;
        }
        const Int32 end = Int32{nColors} - half;  // caller's colours stop before this entry
        for (Int32 j = half; j < end; ++j) {
            RequireIndex(aRgb.size(), j);
            RequireIndex(blockSize, j);
            entries[j] = gdi::FromColorWord(aRgb[j]);
        }
        for (Int32 j = std::max<Int32>(half, end); j <= 255 - half; ++j) {
            RequireIndex(blockSize, j);
            entries[j].peFlags = kNoCollapse;
        }
        for (Int32 j = 256 - half; j <= 255; ++j) {
            RequireIndex(blockSize, j);
            entries[j].peFlags = 0;
        }
    }
    gdi::ReleaseDC(0, screen);
    // The palette this object held is its own; replacing it must not leak it.
    DeletePlatformPalette();
    CreateFromBlock();
    return hPal_;
}

}  // namespace plenova::engine
