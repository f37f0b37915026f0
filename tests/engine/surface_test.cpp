#include <gtest/gtest.h>

#include "base/errors.h"
#include "engine/cwingbitmap.h"
#include "engine/cwingdc.h"
#include "engine/wing.h"
#include "tests/engine/bmp_files.h"

namespace {

using namespace plenova::engine;
namespace wing = plenova::wing;
using plenova::engine::testing::BmpLayout;
using plenova::engine::testing::MakeBmp;
using plenova::engine::testing::TempDir;

class Surfaces : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { wing::SetRecommendedOrientation(GetParam()); }
    void TearDown() override { wing::SetRecommendedOrientation(-1); }
    std::shared_ptr<CWinGDC> dc_ = std::make_shared<CWinGDC>();
};

TEST_P(Surfaces, CreateFollowsTheRecommendedRowOrder) {
    auto bm = std::make_shared<CWinGBitmap>();
    ASSERT_NE(bm->Create(dc_, 640, 480), 0u);
    EXPECT_EQ(bm->Height(), GetParam() * 480);
    EXPECT_EQ(bm->Orientation(), GetParam());
    EXPECT_EQ(bm->Width(), 640);
    EXPECT_EQ(bm->ByteWidth(), 640);
    EXPECT_EQ(bm->m_pSurface().size(), 640u * 480);
    EXPECT_EQ(bm->Info().bmiHeader.biSizeImage, 640 * 480);
    EXPECT_EQ(bm->Info().bmiHeader.biClrUsed, 256);
    ASSERT_NE(bm->pal(), nullptr);
    EXPECT_EQ(bm->Create(dc_, 0, 10), 0u) << "an empty surface cannot be made";
    EXPECT_TRUE(bm->m_pSurface().empty());
    EXPECT_THROW(bm->Create(nullptr, 1, 1), plenova::MissingObjectError);
}

TEST_P(Surfaces, ReadBmpKeepsThePictureUpright) {
    TempDir dir;
    BmpLayout layout;  // 3 x 2; stored rows: file row 0 = bytes 0..3 (bottom), row 1 = 4..7 (top)
    auto bm = std::make_shared<CWinGBitmap>();
    ASSERT_TRUE(bm->ReadBmp(dc_, dir.Write("p.bmp", MakeBmp(layout))));
    auto surface = bm->m_pSurface();
    ASSERT_EQ(surface.size(), 8u);
    if (GetParam() < 0) {
        EXPECT_EQ(surface[0], 4) << "top row of the picture is the surface's first row";
        EXPECT_EQ(surface[4], 0);
    } else {
        EXPECT_EQ(surface[0], 0);
        EXPECT_EQ(surface[4], 4);
    }
    EXPECT_EQ(bm->Info().bmiHeader.biClrUsed, 256);
    std::array<ColorWord, 256> colors{};
    bm->pal()->GetRgbColors(0, 256, colors);
    EXPECT_EQ(colors[5], 0x000F0A05u);

    BmpLayout fourBits;
    fourBits.bits = 4;
    const auto fourBitRead = bm->ReadBmp(dc_, dir.Write("q.bmp", MakeBmp(fourBits)));
    ASSERT_FALSE(fourBitRead);
    EXPECT_EQ(fourBitRead.error().code, DibError::NotEightBits);
    const auto missingRead = bm->ReadBmp(dc_, (dir.Path() / "none.bmp").string());
    ASSERT_FALSE(missingRead);
    EXPECT_EQ(missingRead.error().code, DibError::OpenFailed) << "the picture reader's error";
}

INSTANTIATE_TEST_SUITE_P(RowOrders, Surfaces, ::testing::Values(-1, 1));

TEST(CWinGDC, SelectBitmapKeepsTheFirstReplacedHandleAndPutsItBack) {
    gdi::DeleteDC(gdi::CreateMemoryDC());  // the stock objects exist from here on
    gdi::GetDC(0);
    const std::size_t live = gdi::LiveObjectCount();
    {
        auto dc = std::make_shared<CWinGDC>();
        auto a = std::make_shared<CWinGBitmap>();
        auto b = std::make_shared<CWinGBitmap>();
        a->Create(dc, 4, 4);
        b->Create(dc, 4, 4);
        const gdi::HBITMAP stock = gdi::CurrentBitmap(dc->hDC());
        dc->SelectBitmap(a);
        EXPECT_EQ(dc->InitialBitmap(), stock);
        dc->SelectBitmap(b);
        EXPECT_EQ(dc->InitialBitmap(), stock);
        EXPECT_EQ(dc->CurrentBitmap(), b);
        EXPECT_EQ(gdi::CurrentBitmap(dc->hDC()), b->hBM());
        EXPECT_THROW(dc->SelectBitmap(nullptr), plenova::MissingObjectError);
    }
    EXPECT_EQ(gdi::LiveObjectCount(), live) << "contexts, surfaces and palettes all released";
}

TEST(CWinGDC, SetColorTableSwapsToBlueGreenRed) {
    auto dc = std::make_shared<CWinGDC>();
    auto bm = std::make_shared<CWinGBitmap>();
    bm->Create(dc, 2, 2);
    dc->SelectBitmap(bm);
    std::array<ColorWord, 256> rgbs{};
    rgbs[5] = 255;         // red
    rgbs[6] = 0x04332211;  // flags dropped
    dc->SetColorTable(0, 256, rgbs);
    const gdi::Surface8* s = gdi::GetSurface8(bm->hBM());
    EXPECT_EQ(s->colors[5], (gdi::RgbQuad{0, 0, 255, 0}));
    EXPECT_EQ(s->colors[6], (gdi::RgbQuad{0x33, 0x22, 0x11, 0}));
    EXPECT_EQ(s->xrgb[6], 0xFF112233u);
    std::array<ColorWord, 258> many{};
    EXPECT_THROW(dc->SetColorTable(0, 258, many), plenova::SubscriptOutOfRangeError);
    EXPECT_THROW(dc->SetColorTable(0, 257, rgbs), plenova::SubscriptOutOfRangeError);
    EXPECT_THROW(dc->SetColorTable(32767, 1, rgbs), plenova::OverflowError);
    EXPECT_NO_THROW(dc->SetColorTable(256, 0, rgbs));
}

TEST(CWinGBitmap, TransparentDIBltChecksItsArguments) {
    auto dc = std::make_shared<CWinGDC>();
    CWinGBitmap bm;
    bm.Create(dc, 8, 8);
    auto frame = std::make_shared<CDib>();  // never read: nothing is drawn
    EXPECT_NO_THROW(bm.TransparentDIBlt(0, 0, frame, 0, 0, 0, 255));
    EXPECT_THROW(bm.TransparentDIBlt(0, 0, frame, 0, 0, 0, 256), plenova::OverflowError);
    EXPECT_THROW(bm.TransparentDIBlt(0, 0, frame, 0, 0, 0, -1), plenova::OverflowError);
    EXPECT_THROW(bm.TransparentDIBlt(0, 0, nullptr, 0, 0, 0, 0), plenova::MissingObjectError);
    CWinGBitmap none;  // no surface: nothing to draw on
    EXPECT_NO_THROW(none.TransparentDIBlt(0, 0, frame, 0, 0, 0, 0));
}

}  // namespace
