// The generator's own parts: the BMP and icon encoders read back by the engine and by Qt, the
// quantiser's choice of entries, the tiling noise, and a second run that must write the same
// bytes as the build did.
#include "engine/cdib.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/asset_names.h"
#include "noise.h"
#include "palette.h"
#include "tests/support/temp_folder.h"
#include "writers.h"

namespace {

namespace assets = plenova::assets;
namespace dg = plenova::datagen;
namespace fs = std::filesystem;

using plenova::testing::ReadBytes;
using plenova::testing::TempFolder;

dg::PaletteColors TestPalette() {
    dg::PaletteColors pal{};
    for (int i = 0; i < 256; ++i)
        pal[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7)};
    return pal;
}

TEST(DatagenEncoders, BmpRowsArePaddedAndStoredBottomUp) {
    // Width 5 needs three padding bytes per row; the top row must end up as the last stored row.
    dg::IndexedImage image;
    image.width = 5;
    image.height = 3;
    for (int i = 0; i < 15; ++i) image.pixels.push_back(static_cast<std::uint8_t>(20 + i));
    TempFolder dir;
    const fs::path file = dir.Path() / "small.bmp";
    dg::WriteFileBytes(file.string(), dg::EncodeBmp8(image, TestPalette()));

    plenova::engine::CDib dib;
    const auto read = dib.ReadBmp(file.string());
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(dib.Width(), 5);
    EXPECT_EQ(dib.Height(), 3);
    EXPECT_EQ(dib.ByteWidth(), 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(dib.Pixel(static_cast<std::int16_t>(x), static_cast<std::int16_t>(2 - y)), image.At(x, y));
    const auto& entry = dib.InfoAsLong().bmiColors[9];
    EXPECT_EQ(entry.rgbRed, 9);
    EXPECT_EQ(entry.rgbGreen, 246);
    EXPECT_EQ(entry.rgbBlue, 63);
    // Qt reads it the same way.
    const QImage q(QString::fromStdString(file.string()));
    ASSERT_FALSE(q.isNull());
    EXPECT_EQ(q.pixelIndex(0, 0), 20);
    EXPECT_EQ(q.pixelIndex(4, 2), 34);
}

TEST(DatagenEncoders, IconMaskAndSixteenColourPixelsReadBack) {
    dg::IconImage icon;
    icon.size = 16;
    icon.bitsPerPixel = 4;
    for (int i = 0; i < 16; ++i)
        icon.colors.push_back({static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(i * 8), 0});
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            icon.pixels.push_back(static_cast<std::uint8_t>(x));
            icon.shown.push_back(y >= 8); // lower half drawn
        }
    TempFolder dir;
    const fs::path file = dir.Path() / "test.ico";
    dg::WriteFileBytes(file.string(), dg::EncodeIco({icon}));
    QImageReader reader(QString::fromStdString(file.string()));
    const QImage q = reader.read();
    ASSERT_FALSE(q.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(q.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(q.pixel(3, 2)), 0);
    EXPECT_EQ(qAlpha(q.pixel(3, 12)), 255);
    EXPECT_EQ(qRed(q.pixel(3, 12)), 48);
    EXPECT_EQ(qRed(q.pixel(10, 12)), 160);
}

TEST(DatagenQuantizer, PicksOnlySceneEntriesAndKeepsExactColours) {
    dg::PaletteColors pal = TestPalette();
    pal[3] = {255, 0, 0}; // a static entry that would match pure red exactly
    pal[100] = {250, 10, 10};
    dg::Quantizer q(pal);
    EXPECT_EQ(q.Nearest(255, 0, 0), 100) << "static entries are never chosen";
    for (int i = assets::kFirstSceneIndex; i <= assets::kLastSceneIndex; i += 17) {
        const auto& c = pal[i];
        EXPECT_EQ(q.Nearest(c.r, c.g, c.b), i);
        // An exact colour is not dithered.
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(q.Dither({static_cast<float>(c.r), static_cast<float>(c.g), static_cast<float>(c.b)}, x, y), i);
    }
    for (int v = 0; v < 256; v += 5) {
        const int index = q.Nearest(v, 255 - v, (v * 3) % 256);
        EXPECT_GE(index, assets::kFirstSceneIndex);
        EXPECT_LE(index, assets::kLastSceneIndex);
    }
}

TEST(DatagenQuantizer, DitherMixesTwoNeighboursInProportion) {
    // Halfway between two grey entries, about half of an 8 x 8 tile takes each.
    dg::PaletteColors pal{};
    for (int i = 0; i < 256; ++i) pal[i] = {0, 0, 0};
    for (int i = assets::kFirstSceneIndex; i <= assets::kLastSceneIndex; ++i)
        pal[i] = {255, 0, static_cast<std::uint8_t>(i)}; // far away from greys
    pal[50] = {100, 100, 100};
    pal[60] = {140, 140, 140};
    dg::Quantizer q(pal);
    int upper = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int index = q.Dither({119, 119, 119}, x, y);
            ASSERT_TRUE(index == 50 || index == 60) << index;
            upper += index == 60;
        }
    EXPECT_GT(upper, 20);
    EXPECT_LT(upper, 44);
}

TEST(DatagenNoise, RepeatsAfterItsPeriod) {
    const dg::PeriodicNoise noise(8, 5, 3);
    const dg::PeriodicFbm fbm(4, 3, 5, 9);
    for (float u = 0.1f; u < 8; u += 0.73f)
        for (float v = 0.05f; v < 5; v += 0.61f) {
            EXPECT_NEAR(noise.At(u, v), noise.At(u + 8, v), 1e-5);
            EXPECT_NEAR(noise.At(u, v), noise.At(u, v - 5), 1e-5);
            EXPECT_NEAR(fbm.At(u / 8, v / 5), fbm.At(u / 8 + 1, v / 5 - 1), 1e-4);
        }
}

TEST(DatagenRun, ASecondRunWritesTheSameBytes) {
    TempFolder dir;
    const std::string command = std::string("QT_QPA_PLATFORM=offscreen '") + PLENOVA_TEST_DATAGEN + "' --out '" +
                                dir.Path().string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(PLENOVA_TEST_DIST_DIR)) {
        const fs::path fresh = dir.Path() / entry.path().filename();
        if (!fs::exists(fresh)) continue; // the programs and other parts' files
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_TRUE(ReadBytes(entry.path()) == ReadBytes(fresh)) << "differs from the build's copy";
        ++compared;
    }
    int written = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) ++written;
    EXPECT_EQ(compared, written);
    EXPECT_EQ(written, static_cast<int>(assets::kSpriteFiles.size()) + 11);
}

TEST(DatagenRun, RefusesAMissingOutputFolderArgument) {
    const std::string command = std::string("QT_QPA_PLATFORM=offscreen '") + PLENOVA_TEST_DATAGEN + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_NE(status, 0);
}

} // namespace
