#include "platform/gdi.h"

#include <gtest/gtest.h>

namespace gdi = plenova::platform::gdi;

namespace {

TEST(Gdi, PalettesByHandleAndInvalidHandlesFailCleanly) {
    std::vector<gdi::PaletteEntry> entries(256, {1, 2, 3, 4});
    gdi::HPALETTE pal = gdi::CreatePalette(entries);
    ASSERT_NE(pal, 0u);
    EXPECT_EQ(gdi::PaletteSize(pal), 256u);

    std::array<gdi::PaletteEntry, 2> two{{{10, 20, 30, 0}, {40, 50, 60, 4}}};
    EXPECT_EQ(gdi::SetPaletteEntries(pal, 254, 5, two), 2u);  // only entries that exist
    std::array<gdi::PaletteEntry, 4> out{};
    EXPECT_EQ(gdi::GetPaletteEntries(pal, 253, 4, out), 3u);
    EXPECT_EQ(out[0], (gdi::PaletteEntry{1, 2, 3, 4}));
    EXPECT_EQ(out[2], (gdi::PaletteEntry{40, 50, 60, 4}));
    EXPECT_TRUE(gdi::AnimatePalette(pal, 0, 1, two));
    EXPECT_EQ(gdi::GetPaletteEntries(pal, 0, 1, out), 1u);
    EXPECT_EQ(out[0], two[0]);

    EXPECT_TRUE(gdi::DeleteObject(pal));
    EXPECT_FALSE(gdi::DeleteObject(pal));  // stale
    EXPECT_EQ(gdi::GetPaletteEntries(pal, 0, 1, out), 0u);
    EXPECT_EQ(gdi::SetPaletteEntries(0, 0, 1, two), 0u);
    EXPECT_FALSE(gdi::DeleteObject(0));
    EXPECT_FALSE(gdi::DeleteObject(0xDEADBEEF));
    EXPECT_EQ(gdi::CreatePalette({}), 0u);
    EXPECT_FALSE(gdi::DeleteDC(0x12345678));
    EXPECT_EQ(gdi::SelectObject(0, 0), 0u);
    EXPECT_EQ(gdi::GetDeviceCaps(0, gdi::NUMCOLORS), 0);
    EXPECT_EQ(gdi::GetSystemPaletteUse(0), gdi::SYSPAL_ERROR);
}

TEST(Gdi, ScreenHasTwentyStaticColoursUnlessSwitchedOff) {
    gdi::HDC screen = gdi::GetDC(0);
    ASSERT_NE(screen, 0u);
    EXPECT_EQ(gdi::GetSystemPaletteUse(screen), gdi::SYSPAL_STATIC);
    EXPECT_EQ(gdi::GetDeviceCaps(screen, gdi::NUMCOLORS), 20);
    EXPECT_EQ(gdi::GetDeviceCaps(screen, gdi::BITSPIXEL), 8);
    std::array<gdi::PaletteEntry, 256> sys{};
    EXPECT_EQ(gdi::GetSystemPaletteEntries(screen, 0, 256, sys), 256u);
    EXPECT_EQ(sys[0], (gdi::PaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(sys[7], (gdi::PaletteEntry{192, 192, 192, 0}));
    EXPECT_EQ(sys[246], (gdi::PaletteEntry{255, 251, 240, 0}));
    EXPECT_EQ(sys[249], (gdi::PaletteEntry{255, 0, 0, 0}));
    EXPECT_EQ(sys[255], (gdi::PaletteEntry{255, 255, 255, 0}));

    EXPECT_EQ(gdi::SetSystemPaletteUse(screen, gdi::SYSPAL_NOSTATIC), gdi::SYSPAL_STATIC);
    EXPECT_EQ(gdi::GetDeviceCaps(screen, gdi::NUMCOLORS), 2);
    gdi::GetSystemPaletteEntries(screen, 0, 256, sys);
    EXPECT_EQ(sys[255], (gdi::PaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(sys[249], (gdi::PaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(gdi::SetSystemPaletteUse(screen, 7), gdi::SYSPAL_ERROR);
    gdi::SetSystemPaletteUse(screen, gdi::SYSPAL_STATIC);
    EXPECT_EQ(gdi::ReleaseDC(0, screen), 1);
}

TEST(Gdi, BitmapSelectionAndDeletion) {
    gdi::HDC dc = gdi::CreateMemoryDC();
    gdi::HBITMAP a = gdi::CreateSurface8(3, -2);
    gdi::HBITMAP b = gdi::CreateSurface8(5, 2);
    ASSERT_NE(a, 0u);
    gdi::Surface8* sa = gdi::GetSurface8(a);
    ASSERT_NE(sa, nullptr);
    EXPECT_EQ(sa->stride, 4);
    EXPECT_EQ(sa->pixels.size(), 8u);

    gdi::Handle stock = gdi::SelectObject(dc, a);
    EXPECT_NE(stock, 0u);
    EXPECT_FALSE(gdi::DeleteObject(a));  // still selected
    EXPECT_EQ(gdi::SelectObject(dc, b), a);
    EXPECT_TRUE(gdi::DeleteObject(a));
    EXPECT_EQ(gdi::SelectObject(dc, stock), b);
    EXPECT_TRUE(gdi::DeleteDC(dc));
    EXPECT_TRUE(gdi::DeleteObject(b));
    EXPECT_EQ(gdi::CreateSurface8(0, 5), 0u);
    EXPECT_EQ(gdi::CreateSurface8(5, 0), 0u);
}

TEST(Gdi, StretchDIBitsDrawsUprightThroughTheColourTable) {
    // A 2 x 2 bottom-up 8-bit picture: bottom row indexes 1 2, top row 3 4.
    gdi::BitmapInfo info;
    info.bmiHeader = {40, 2, 2, 1, 8, gdi::BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 5; ++i) info.bmiColors[i] = {static_cast<std::uint8_t>(i), 0, 0, 0};
    std::array<std::uint8_t, 8> bits{1, 2, 0, 0, 3, 4, 0, 0};
    auto target = std::make_shared<gdi::XrgbBuffer>(4, 4);
    gdi::HDC dc = gdi::CreateTargetDC(target);
    EXPECT_EQ(gdi::StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 2, 2, bits, info, gdi::DIB_RGB_COLORS,
                                 gdi::SRCCOPY),
              2);
    EXPECT_EQ(target->At(0, 0), 0xFF000003u);
    EXPECT_EQ(target->At(3, 0), 0xFF000004u);
    EXPECT_EQ(target->At(1, 3), 0xFF000001u);
    EXPECT_EQ(target->At(3, 3), 0xFF000002u);
    EXPECT_EQ(target->Presents(), 1);
    // Too few bits for the header: nothing drawn.
    EXPECT_EQ(gdi::StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 2, 2, std::span(bits).first(7), info,
                                 gdi::DIB_RGB_COLORS, gdi::SRCCOPY),
              0);
    EXPECT_EQ(gdi::SetStretchBltMode(dc, gdi::COLORONCOLOR), gdi::BLACKONWHITE);
    EXPECT_EQ(gdi::SetStretchBltMode(dc, gdi::BLACKONWHITE), gdi::COLORONCOLOR);
    EXPECT_TRUE(gdi::DeleteDC(dc));
}

TEST(Gdi, CallbackTargetDrawsIntoTheWindowsOwnBuffer) {
    std::vector<std::uint32_t> image(3 * 2, 0);
    int presented = 0;
    auto target = std::make_shared<gdi::CallbackPixelTarget>(
        [&] { return gdi::XrgbView{image.data(), 3, 2, 3}; },
        [&](std::int32_t, std::int32_t, std::int32_t w, std::int32_t h) { presented += w * h; });
    gdi::HDC dc = gdi::CreateTargetDC(target);
    gdi::BitmapInfo info;
    info.bmiHeader = {40, 1, -1, 1, 24, gdi::BI_RGB, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 4> bits{0x30, 0x20, 0x10, 0};  // one blue-green-red pixel
    EXPECT_EQ(gdi::StretchDIBits(dc, 0, 0, 3, 2, 0, 0, 1, 1, bits, info, gdi::DIB_RGB_COLORS,
                                 gdi::SRCCOPY), 1);
    EXPECT_EQ(image[5], 0xFF102030u);
    EXPECT_EQ(presented, 6);
    // Palette selection on a window context, as the scene does.
    std::vector<gdi::PaletteEntry> entries(256, {1, 2, 3, 0});
    gdi::HPALETTE pal = gdi::CreatePalette(entries);
    gdi::HPALETTE previous = gdi::SelectPalette(dc, pal, false);
    EXPECT_EQ(previous, gdi::DefaultPalette());
    EXPECT_EQ(gdi::RealizePalette(dc), 236u);
    std::array<gdi::PaletteEntry, 256> sys{};
    gdi::GetSystemPaletteEntries(gdi::GetDC(0), 0, 256, sys);
    EXPECT_EQ(sys[100], (gdi::PaletteEntry{1, 2, 3, 0}));
    EXPECT_EQ(sys[5].peRed, 128) << "static colours stay";
    EXPECT_EQ(gdi::SelectPalette(dc, previous, false), pal);
    EXPECT_TRUE(gdi::DeleteObject(pal));
    EXPECT_EQ(gdi::ReleaseDC(0, dc), 1);
}

// Blocks on both sides of the size from which memory is mapped on its own: each zeroed,
// aligned, usable to its last byte and given back; a size that overflows is refused.
TEST(Gdi, LargeBlocksAreZeroedAlignedAndWhole) {
    using plenova::platform::MakeLargeArray;
    for (const std::size_t bytes : {std::size_t{1}, std::size_t{(2u << 20) - 1},
                                    std::size_t{2u << 20}, std::size_t{(5u << 20) + 3}}) {
        auto block = MakeLargeArray<std::uint8_t>(bytes);
        ASSERT_NE(block, nullptr) << bytes;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.get()) % 64, 0u) << bytes;
        EXPECT_EQ(std::count(block.get(), block.get() + bytes, 0), static_cast<long>(bytes));
        block[bytes - 1] = 0xFF;
    }
    EXPECT_EQ(MakeLargeArray<std::uint32_t>(SIZE_MAX / 2), nullptr);
}

}  // namespace
