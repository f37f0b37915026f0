#include "engine/cpalette.h"

#include <gtest/gtest.h>

#include "base/errors.h"

namespace {

using plenova::engine::CPalette;
using plenova::engine::ColorWord;
namespace gdi = plenova::platform::gdi;

// Switches the display's static colours for one test and back.
class ScopedPaletteUse {
public:
    explicit ScopedPaletteUse(std::uint32_t use)
        : previous_(gdi::SetSystemPaletteUse(gdi::GetDC(0), use)) {}
    ~ScopedPaletteUse() { gdi::SetSystemPaletteUse(gdi::GetDC(0), previous_); }

private:
    std::uint32_t previous_;
};

std::array<ColorWord, 256> PlatformColors(const CPalette& p) {
    std::array<ColorWord, 256> c{};
    p.GetRgbColors(0, 256, c);
    return c;
}

TEST(CPalette, DefaultIsAnIdentityPaletteAroundTheStaticColours) {
    CPalette p;
    ASSERT_NE(p.hPal(), 0u);
    const auto& b = p.Block();
    EXPECT_EQ(b.palVersion, 0x300);
    EXPECT_EQ(b.palNumEntries, 256);
    EXPECT_EQ(b.palPalEntry[9], (gdi::PaletteEntry{166, 202, 240, 0}));
    EXPECT_EQ(b.palPalEntry[10], (gdi::PaletteEntry{0, 0, 0, 4}));
    EXPECT_EQ(b.palPalEntry[245], (gdi::PaletteEntry{0, 0, 0, 4}));
    EXPECT_EQ(b.palPalEntry[246], (gdi::PaletteEntry{255, 251, 240, 0}));
    auto c = PlatformColors(p);
    EXPECT_EQ(c[255], 0x00FFFFFFu);
    EXPECT_EQ(c[100], 0x04000000u);
}

TEST(CPalette, IdentityPaletteWithStaticColours) {
    std::array<ColorWord, 257> rgb{};
    for (int i = 0; i < 257; ++i) rgb[i] = static_cast<ColorWord>(i * 0x010101);
    CPalette p;
    gdi::HPALETTE old = p.hPal();
    gdi::HPALETTE h = p.CreateIdentityPalette(rgb, 256);
    EXPECT_EQ(h, p.hPal());
    EXPECT_EQ(gdi::PaletteSize(old), 0u) << "the replaced palette is deleted";
    const auto& e = p.Block().palPalEntry;
    EXPECT_EQ(e[10], (gdi::PaletteEntry{10, 10, 10, 0}));
    EXPECT_EQ(e[245], (gdi::PaletteEntry{245, 245, 245, 0}));
    EXPECT_EQ(e[246].peRed, 255);
    EXPECT_EQ(e[0].peFlags, 0);

    // nColors 16 with 20 static colours writes no caller colour (10 .. 5 is empty).
    p.CreateIdentityPalette(rgb, 16);
    for (int j = 0; j < 256; ++j) {
        EXPECT_EQ(e[j].peFlags, (j >= 10 && j <= 245) ? 4 : 0) << j;
    }
    std::array<gdi::PaletteEntry, 256> sys{};
    gdi::GetSystemPaletteEntries(gdi::GetDC(0), 0, 256, sys);
    EXPECT_EQ(e[12].peRed, sys[12].peRed) << "colour as copied from the system palette";
    EXPECT_EQ(e[12].peBlue, sys[12].peBlue);
}

TEST(CPalette, IdentityPaletteWithoutStaticColours) {
    ScopedPaletteUse noStatic(gdi::SYSPAL_NOSTATIC);
    std::array<ColorWord, 16> rgb{};
    rgb.fill(0x00112233);
    CPalette p;
    p.CreateIdentityPalette(rgb, 16);
    const auto& e = p.Block().palPalEntry;
    EXPECT_EQ(e[0], (gdi::PaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(e[1], (gdi::PaletteEntry{0x33, 0x22, 0x11, 0}));
    EXPECT_EQ(e[15], (gdi::PaletteEntry{0x33, 0x22, 0x11, 0}));
    EXPECT_EQ(e[16].peFlags, 4);
    EXPECT_EQ(e[255], (gdi::PaletteEntry{255, 255, 255, 0}));
    // Asking for more colours than the array holds is a subscript error.
    EXPECT_THROW(p.CreateIdentityPalette(rgb, 17), plenova::SubscriptOutOfRangeError);
}

TEST(CPalette, SetFlagsCoversCountPlusOneEntries) {
    CPalette p;
    p.SetFlags(10, 5, 1);
    const auto& e = p.Block().palPalEntry;
    EXPECT_EQ(e[9].peFlags, 0);
    for (int i = 10; i <= 15; ++i) EXPECT_EQ(e[i].peFlags, 1);
    EXPECT_EQ(e[16].peFlags, 4);
    EXPECT_THROW(p.SetFlags(0, 0, 256), plenova::OverflowError);
    EXPECT_THROW(p.SetFlags(32767, 1, 0), plenova::OverflowError);
    EXPECT_THROW(p.SetFlags(250, 7, 0), plenova::SubscriptOutOfRangeError);
    EXPECT_NO_THROW(p.SetFlags(250, 6, 0));  // entry 256 exists in the block
}

TEST(CPalette, FadeEntriesWritesTheRampIntoTheBlockOnly) {
    CPalette p;
    auto before = PlatformColors(p);
    p.FadeEntries(0x000000, 0xFFFFFF, 0, 4);
    const auto& e = p.Block().palPalEntry;
    const std::uint8_t expected[] = {0, 64, 128, 191};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(e[i].peRed, expected[i]);
        EXPECT_EQ(e[i].peGreen, expected[i]);
        EXPECT_EQ(e[i].peBlue, expected[i]);
    }
    EXPECT_EQ(e[4].peRed, 0) << "the stop colour itself is never written";
    EXPECT_EQ(PlatformColors(p), before);
    // Half steps round to even: 0, 2.5 -> 2, then flags untouched.
    p.FadeEntries(0x000000, 0x050505, 20, 2);
    EXPECT_EQ(e[21].peRed, 2);
    EXPECT_EQ(e[21].peBlue, 2);
    EXPECT_EQ(e[21].peFlags, 4);
    // Downwards ramps and flags bits in the words.
    p.FadeEntries(0xFF0000C8, 0x00000000, 30, 2);
    EXPECT_EQ(e[30].peRed, 200);
    EXPECT_EQ(e[31].peRed, 100);
    EXPECT_EQ(e[31].peFlags, 4);
    // Division by zero before any change; ranges past entry 256 refused.
    auto snapshot = e;
    EXPECT_THROW(p.FadeEntries(0, 0xFFFFFF, 0, 0), plenova::DivisionByZeroError);
    EXPECT_THROW(p.FadeEntries(0, 0xFFFFFF, 250, 8), plenova::SubscriptOutOfRangeError);
    EXPECT_EQ(e, snapshot);
}

TEST(CPalette, CloneCopiesPlatformEntriesNotTheBlock) {
    CPalette p;
    std::array<ColorWord, 256> rgb{};
    for (int i = 0; i < 256; ++i) rgb[i] = static_cast<ColorWord>(i);
    p.SetRgbColors(0, 256, rgb);
    auto clone = p.Clone();
    EXPECT_EQ(PlatformColors(*clone), rgb);
    EXPECT_EQ(clone->Block().palPalEntry[100], (gdi::PaletteEntry{0, 0, 0, 4}));
    clone->ReCreate();
    EXPECT_EQ(PlatformColors(*clone)[100], 0x04000000u);
    EXPECT_EQ(PlatformColors(p)[100], 100u);
}

TEST(CPalette, AnimateChangesPlatformPaletteThenBlock) {
    CPalette p;
    std::array<ColorWord, 257> rgb{};
    rgb[20] = 0x00010203;
    rgb[21] = 0x04050607;
    p.Animate(20, 2, rgb);
    EXPECT_EQ(PlatformColors(p)[21], 0x04050607u);
    EXPECT_EQ(p.Block().palPalEntry[20], (gdi::PaletteEntry{3, 2, 1, 0}));
    EXPECT_THROW(p.Animate(250, 8, rgb), plenova::SubscriptOutOfRangeError);
    std::array<ColorWord, 4> small{};
    EXPECT_THROW(p.Animate(2, 3, small), plenova::SubscriptOutOfRangeError);
    EXPECT_THROW(p.Animate(0, 9000, rgb), plenova::OverflowError);
}

TEST(CPalette, HandlesSetFromAnotherPaletteAndReleased) {
    std::vector<gdi::PaletteEntry> entries(256, {9, 8, 7, 0});
    gdi::HPALETTE foreign = gdi::CreatePalette(entries);
    gdi::DeleteDC(gdi::CreateMemoryDC());  // the stock objects exist from here on
    gdi::GetDC(0);
    std::size_t live = gdi::LiveObjectCount();
    {
        CPalette p;
        gdi::HPALETTE first = p.hPal();
        p.set_hPal(foreign);
        EXPECT_EQ(gdi::PaletteSize(first), 0u);
        EXPECT_NE(p.hPal(), foreign);
        EXPECT_EQ(PlatformColors(p)[3], 0x00070809u);
        EXPECT_EQ(p.Block().palPalEntry[3], (gdi::PaletteEntry{9, 8, 7, 0}));
        p.set_Colors(300);  // more than the block holds: clamped, never read past it
        p.ReCreate();
        EXPECT_EQ(gdi::PaletteSize(p.hPal()), 257u);
    }
    EXPECT_EQ(gdi::LiveObjectCount(), live) << "released palettes delete their handles";
    EXPECT_EQ(gdi::PaletteSize(foreign), 256u);
    gdi::DeleteObject(foreign);
}

}  // namespace
