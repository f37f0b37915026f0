#include "engine/wing.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

namespace gdi = plenova::platform::gdi;
namespace wing = plenova::wing;

gdi::BitmapInfo Info8(std::int32_t width, std::int32_t height) {
    gdi::BitmapInfo info;
    info.bmiHeader = {40, width, height, 1, 8, gdi::BI_RGB, 0, 0, 0, 0, 0};
    return info;
}

// A picture with its pixels addressed visually (y from the top), whatever its row order.
struct Picture {
    std::int32_t width, height;  // height signed
    std::vector<std::uint8_t> bits;
    std::int32_t Rows() const { return std::abs(height); }
    std::int32_t Stride() const { return ((width * 8 + 31) / 32) * 4; }
    std::uint8_t& At(std::int32_t x, std::int32_t y) {
        const std::int32_t stored = height > 0 ? Rows() - 1 - y : y;
        return bits[static_cast<std::size_t>(stored * Stride() + x)];
    }
    gdi::BitmapInfo Info() const { return Info8(width, height); }
};

Picture MakePicture(std::int32_t width, std::int32_t height, std::mt19937& rng) {
    Picture p{width, height, {}};
    p.bits.resize(static_cast<std::size_t>(p.Stride() * p.Rows()));
    std::uniform_int_distribution<int> byte(0, 255);
    // Plenty of transparent pixels (255) among the others.
    for (auto& b : p.bits) b = static_cast<std::uint8_t>(byte(rng) < 64 ? 255 : byte(rng));
    return p;
}

TEST(CopyDIBits, CopiesRowsWithStridesAndRefusesRowsOutside) {
    std::vector<std::uint8_t> src(12), dst(12, 0);
    for (int i = 0; i < 12; ++i) src[i] = static_cast<std::uint8_t>(i + 1);
    // Three rows of 4, read last row first into a 4-byte-stride destination.
    EXPECT_TRUE(wing::CopyDIBits(dst, 0, src, 8, 3, 3, 4, -4));
    EXPECT_EQ(dst, (std::vector<std::uint8_t>{9, 10, 11, 0, 5, 6, 7, 0, 1, 2, 3, 0}));
    std::vector<std::uint8_t> before = dst;
    EXPECT_FALSE(wing::CopyDIBits(dst, 0, src, 8, 3, 4, 4, -4));   // source row -1
    EXPECT_FALSE(wing::CopyDIBits(dst, 10, src, 0, 3, 1, 4, 4));   // destination end
    EXPECT_FALSE(wing::CopyDIBits(dst, -1, src, 0, 1, 1, 4, 4));
    EXPECT_FALSE(wing::CopyDIBits(dst, 0, src, 0, -1, 1, 4, 4));
    EXPECT_FALSE(wing::CopyDIBits(dst, 0, src, 0, 4, 2, 0x7FFFFFFF, 4));
    EXPECT_EQ(dst, before) << "a refused copy changes nothing";
    EXPECT_TRUE(wing::CopyDIBits(dst, 0, src, 0, 0, 5, 4, 4));  // nothing to copy
    EXPECT_TRUE(wing::CopyDIBits(dst, 0, src, 0, 12, 1, 0, 0));
    EXPECT_EQ(dst, src);
}

TEST(TransparentDIBits, MatchesAPixelByPixelReferenceInEveryRowOrderAndPlace) {
    std::mt19937 rng(7);
    for (int dstSign : {-1, 1}) {
        for (int srcSign : {-1, 1}) {
            Picture sprite = MakePicture(37, srcSign * 21, rng);
            for (int trial = 0; trial < 200; ++trial) {
                Picture canvas = MakePicture(61, dstSign * 45, rng);
                Picture expected = canvas;
                std::uniform_int_distribution<int> pos(-60, 90);
                const int x = pos(rng), y = pos(rng);
                for (int sy = 0; sy < sprite.Rows(); ++sy) {
                    for (int sx = 0; sx < sprite.width; ++sx) {
                        const int cx = x + sx, cy = y + sy;
                        if (cx < 0 || cy < 0 || cx >= canvas.width || cy >= canvas.Rows()) continue;
                        if (sprite.At(sx, sy) != 255) expected.At(cx, cy) = sprite.At(sx, sy);
                    }
                }
                wing::TransparentDIBits(canvas.Info(), canvas.bits, x, y, sprite.bits,
                                        sprite.Info(), 0, 0, 0, 255);
                ASSERT_EQ(canvas.bits, expected.bits)
                    << "dst " << dstSign << " src " << srcSign << " at " << x << "," << y;
            }
        }
    }
}

TEST(TransparentDIBits, TopRowOfTheSpriteGoesToTheGivenY) {
    std::mt19937 rng(1);
    Picture canvas{4, 3, std::vector<std::uint8_t>(12, 0)};  // bottom-up
    Picture sprite{1, 2, std::vector<std::uint8_t>(8, 0)};    // bottom-up: stored row 1 is the top
    sprite.bits[4] = 7;  // top
    sprite.bits[0] = 8;  // bottom
    EXPECT_EQ(wing::TransparentDIBits(canvas.Info(), canvas.bits, 2, 0, sprite.bits,
                                      sprite.Info(), 0, 0, 0, 255),
              2);
    EXPECT_EQ(canvas.At(2, 0), 7);
    EXPECT_EQ(canvas.At(2, 1), 8);
    EXPECT_EQ(canvas.bits[8 + 2], 7) << "visual row 0 of a bottom-up surface is its last stored row";
}

TEST(TransparentDIBits, RefusesWhatItCannotDrawSafely) {
    std::mt19937 rng(2);
    Picture canvas = MakePicture(16, 16, rng);
    Picture sprite = MakePicture(8, 8, rng);
    const auto before = canvas.bits;
    auto shortBits = std::span<const std::uint8_t>(sprite.bits).first(sprite.bits.size() - 1);
    EXPECT_EQ(wing::TransparentDIBits(canvas.Info(), canvas.bits, 0, 0, shortBits, sprite.Info(),
                                      0, 0, 0, 255), 0);
    gdi::BitmapInfo fourBits = sprite.Info();
    fourBits.bmiHeader.biBitCount = 4;
    EXPECT_EQ(wing::TransparentDIBits(canvas.Info(), canvas.bits, 0, 0, sprite.bits, fourBits, 0,
                                      0, 0, 255), 0);
    gdi::BitmapInfo empty{};  // a frame that was never read
    EXPECT_EQ(wing::TransparentDIBits(canvas.Info(), canvas.bits, 0, 0, {}, empty, 0, 0, 0, 255), 0);
    EXPECT_EQ(wing::TransparentDIBits(canvas.Info(), std::span(canvas.bits).first(10), 0, 0,
                                      sprite.bits, sprite.Info(), 0, 0, 0, 255), 0);
    EXPECT_EQ(wing::TransparentDIBits(canvas.Info(), canvas.bits, 0x7FFFFFFF, -0x7FFFFFFF,
                                      sprite.bits, sprite.Info(), 0x7FFFFFFF, 0, 0, 255), 0);
    EXPECT_EQ(canvas.bits, before);
}

class WingInnerLoops : public ::testing::TestWithParam<wing::KernelLevel> {
protected:
    void SetUp() override { wing::SetKernelLevel(GetParam()); }
    void TearDown() override { wing::SetKernelLevel(wing::KernelLevel::Best); }
};

TEST_P(WingInnerLoops, MatchTheirPlainDefinitions) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> byte(0, 255);
    std::array<std::uint32_t, 256> table{};
    for (auto& t : table) t = static_cast<std::uint32_t>(rng());
    for (std::size_t n : {0, 1, 7, 8, 15, 16, 17, 31, 32, 33, 64, 100, 129, 256, 1930}) {
        std::vector<std::uint8_t> src(n), dst(n), expected(n);
        for (std::size_t i = 0; i < n; ++i) {
            // Every index once when n is 256; otherwise many keys among random bytes.
            src[i] = static_cast<std::uint8_t>(n == 256 ? i : byte(rng) < 100 ? 42 : byte(rng));
            dst[i] = expected[i] = static_cast<std::uint8_t>(byte(rng));
            if (src[i] != 42) expected[i] = src[i];
        }
        wing::TransparentRow(dst.data(), src.data(), n, 42);
        EXPECT_EQ(dst, expected) << n;
        std::vector<std::uint32_t> out(n), want(n);
        for (std::size_t i = 0; i < n; ++i) want[i] = table[src[i]];
        wing::ExpandRow(src.data(), table.data(), out.data(), n);
        EXPECT_EQ(out, want) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, WingInnerLoops,
                         ::testing::Values(wing::KernelLevel::Portable, wing::KernelLevel::Baseline,
                                           wing::KernelLevel::Best, wing::KernelLevel::Avx2));

class WinGSurfaces : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { wing::SetRecommendedOrientation(GetParam()); }
    void TearDown() override { wing::SetRecommendedOrientation(-1); }
};

TEST_P(WinGSurfaces, BitBltExpandsUprightThroughTheColourTable) {
    gdi::HDC dc = wing::WinGCreateDC();
    gdi::BitmapInfo info{};
    ASSERT_TRUE(wing::WinGRecommendDIBFormat(&info));
    EXPECT_EQ(info.bmiHeader.biHeight, GetParam());
    info.bmiHeader.biWidth = 5;
    info.bmiHeader.biHeight *= 3;
    std::span<std::uint8_t> bits;
    gdi::HBITMAP bm = wing::WinGCreateBitmap(dc, &info, &bits);
    ASSERT_NE(bm, 0u);
    ASSERT_EQ(bits.size(), 24u);
    gdi::HBITMAP stock = gdi::SelectObject(dc, bm);
    std::array<gdi::RgbQuad, 3> colors{{{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}};
    EXPECT_EQ(wing::WinGSetDIBColorTable(dc, 1, 3, colors), 3u);
    Picture view{5, info.bmiHeader.biHeight, {}};
    // Visual row y holds index y + 1 in every column.
    for (int y = 0; y < 3; ++y) {
        const int stored = GetParam() > 0 ? 2 - y : y;
        for (int x = 0; x < 5; ++x) bits[static_cast<std::size_t>(stored * 8 + x)] = static_cast<std::uint8_t>(y + 1);
    }
    auto target = std::make_shared<gdi::XrgbBuffer>(4, 4);
    gdi::HDC window = gdi::CreateTargetDC(target);
    EXPECT_TRUE(wing::WinGBitBlt(window, 1, 0, 5, 3, dc, 0, 0));
    EXPECT_EQ(target->At(0, 0), 0u) << "left of the copy";
    EXPECT_EQ(target->At(1, 0), 0xFF030201u);
    EXPECT_EQ(target->At(3, 1), 0xFF060504u);
    EXPECT_EQ(target->At(3, 2), 0xFF090807u);
    EXPECT_EQ(target->At(3, 3), 0u);
    EXPECT_EQ(target->Presents(), 1);
    // Off the source or the window: clipped, never outside either.
    EXPECT_TRUE(wing::WinGBitBlt(window, -1, -1, 100, 100, dc, 2, 1));  // (0,0) shows (3,2)
    EXPECT_EQ(target->At(0, 0), 0xFF090807u);
    EXPECT_TRUE(wing::WinGBitBlt(window, 0, 0, 4, 4, dc, 50, 50));
    EXPECT_FALSE(wing::WinGBitBlt(window, 0, 0, 4, 4, 0, 0, 0));
    gdi::SelectObject(dc, stock);
    EXPECT_TRUE(gdi::DeleteObject(bm));
    EXPECT_TRUE(gdi::DeleteDC(dc));
    EXPECT_TRUE(gdi::DeleteDC(window));
}

TEST_P(WinGSurfaces, CreateBitmapFailsCleanly) {
    gdi::BitmapInfo info{};
    wing::WinGRecommendDIBFormat(&info);
    std::span<std::uint8_t> bits;
    EXPECT_EQ(wing::WinGCreateBitmap(0, &info, &bits), 0u);
    gdi::HDC dc = wing::WinGCreateDC();
    info.bmiHeader.biWidth = 0;
    EXPECT_EQ(wing::WinGCreateBitmap(dc, &info, &bits), 0u);
    EXPECT_TRUE(bits.empty());
    EXPECT_EQ(wing::WinGCreateBitmap(dc, nullptr, &bits), 0u);
    EXPECT_FALSE(wing::WinGRecommendDIBFormat(nullptr));
    gdi::DeleteDC(dc);
}

INSTANTIATE_TEST_SUITE_P(RowOrders, WinGSurfaces, ::testing::Values(-1, 1));

}  // namespace
