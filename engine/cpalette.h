// CPalette: one platform palette of 256 entries with a stored copy of its entry block. It is
// created as an identity palette: the display's static colours stay at both ends and the
// entries between them are the program's own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "base/checked.h"
#include "platform/gdi.h"

namespace plenova::engine {

namespace gdi = plenova::platform::gdi;

// Colour word: red in bits 0-7, green 8-15, blue 16-23, palette-entry flags 24-31.
using ColorWord = std::uint32_t;

// The logical-palette block: version, entry count and 257 entries.
struct LogPalette {
    Int16 palVersion = 0;
    Int16 palNumEntries = 0;
    std::array<gdi::PaletteEntry, 257> palPalEntry{};
};
static_assert(sizeof(LogPalette) == 4 + 257 * 4);

class CPalette {
public:
    // Builds the default identity palette (every program colour black with flags 4).
    CPalette();
    ~CPalette();
    CPalette(const CPalette&) = delete;
    CPalette& operator=(const CPalette&) = delete;

    gdi::HPALETTE hPal() const { return hPal_; }
    // Takes the colours of another platform palette (which stays its owner's).
    void set_hPal(gdi::HPALETTE pal);
    Int16 Colors() const { return block_.palNumEntries; }
    void set_Colors(Int16 n) { block_.palNumEntries = n; }

    void ReCreate();
    void Animate(Int16 iStart, Int16 iColors, std::span<const ColorWord> aRgb);
    std::shared_ptr<CPalette> Clone() const;
    void SetRgbColors(Int32 iStart, Int32 iColors, std::span<const ColorWord> aRgb);
    void GetRgbColors(Int32 iStart, Int32 iColors, std::span<ColorWord> aRgb) const;
    void FadeEntries(ColorWord rgbStart, ColorWord rgbStop, Int16 firstEntry, Int16 steps);
    void SetFlags(Int16 first, Int16 count, Int16 flags);
    gdi::HPALETTE CreateIdentityPalette(std::span<const ColorWord> aRgb, Int16 nColors);

    // The stored entry block.
    const LogPalette& Block() const { return block_; }

private:
    void DeletePlatformPalette();
    void CreateFromBlock();

    gdi::HPALETTE hPal_ = 0;
    LogPalette block_;
};

}  // namespace plenova::engine
