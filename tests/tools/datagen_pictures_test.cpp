// Reads every generated picture back with the engine's BMP reader and checks what the saver and
// the dialogs rely on: names, sizes, depth, row order, the shared scene palette, the
// transparent index, and a background that tiles without a seam, covers a 4K screen and is as
// starry everywhere as the sky it was tuned on.
#include "engine/cdib.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "assets/asset_names.h"
#include "platform/gdi.h"
#include "tests/support/temp_folder.h"

namespace {

namespace assets = plenova::assets;
using plenova::engine::CDib;

std::string DistPath(std::string_view name) { return std::string(PLENOVA_TEST_DIST_DIR) + "/" + std::string(name); }

using plenova::testing::ReadBytes;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

struct Loaded {
    std::unique_ptr<CDib> dib;
    int width = 0, height = 0;
    // Picture rows top first, whatever the stored order.
    std::uint8_t At(int x, int y) const {
        return dib->Pixel(static_cast<std::int16_t>(x), static_cast<std::int16_t>(height - 1 - y));
    }
    std::array<plenova::platform::gdi::RgbQuad, 256> Table() const {
        std::array<plenova::platform::gdi::RgbQuad, 256> t{};
        for (int i = 0; i < 256; ++i) t[i] = dib->InfoAsLong().bmiColors[i];
        return t;
    }
};

// Reads with CDib and checks the format every picture shares: an uncompressed 8-bit BMP with
// a 256-entry table, stored bottom-up, pixel rows right after the table.
Loaded LoadPicture(std::string_view name) {
    Loaded out;
    out.dib = std::make_unique<CDib>();
    const std::string path = DistPath(name);
    const auto read = out.dib->ReadBmp(path);
    EXPECT_TRUE(read) << name << ": " << (read ? "" : read.error().message);
    const auto& h = out.dib->InfoAsLong().bmiHeader;
    EXPECT_EQ(out.dib->BitsPerPixel(), 8) << name;
    EXPECT_EQ(h.biCompression, 0u) << name;
    EXPECT_EQ(out.dib->ColorsUsed(), 256) << name;
    EXPECT_GT(h.biHeight, 0) << name << " is stored bottom-up";
    out.width = out.dib->Width();
    out.height = out.dib->Height();
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    const std::size_t stride = (static_cast<std::size_t>(out.width) + 3) / 4 * 4;
    EXPECT_EQ(bytes.size(), 1078 + stride * out.height) << name;
    if (bytes.size() >= 54) {
        EXPECT_EQ(Le32(bytes, 10), 1078u) << name << ": bfOffBits";
        EXPECT_EQ(Le32(bytes, 2), bytes.size()) << name << ": bfSize";
    }
    return out;
}

class GeneratedPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() { background_ = new Loaded(LoadPicture(assets::kBackground)); }
    static void TearDownTestSuite() {
        delete background_;
        background_ = nullptr;
    }
    static Loaded* background_;
};
Loaded* GeneratedPictures::background_ = nullptr;

// --- the background ----------------------------------------------------------------------

TEST_F(GeneratedPictures, BackgroundSizeAndIndices) {
    const Loaded& bg = *background_;
    ASSERT_EQ(bg.width, assets::kBackgroundWidth);
    ASSERT_EQ(bg.height, assets::kBackgroundHeight);
    std::array<int, 256> used{};
    for (int y = 0; y < bg.height; ++y)
        for (int x = 0; x < bg.width; ++x) ++used[bg.At(x, y)];
    EXPECT_EQ(used[assets::kTransparentIndex], 0) << "the transparent index appears in the background";
    for (int i = 0; i < 256; ++i) {
        if (i < assets::kFirstSceneIndex || i > assets::kLastSceneIndex) {
            EXPECT_EQ(used[i], 0) << "entry " << i << " belongs to the display's static colours";
        }
    }
    const int distinct = static_cast<int>(std::count_if(used.begin(), used.end(), [](int n) { return n > 0; }));
    EXPECT_GT(distinct, 100) << "a deep-space picture needs many shades";
}

TEST_F(GeneratedPictures, BackgroundCoversTheCanvasOfA4KScreen) {
    // The saver's canvas is 10 x 27 pixels larger than the screen; a canvas no larger than the
    // sky shows no part of it twice. Sides in multiples of 8 carry the ordered dither across
    // the picture's edges.
    const Loaded& bg = *background_;
    EXPECT_GE(bg.width, 3840 + 10);
    EXPECT_GE(bg.height, 2160 + 27);
    EXPECT_EQ(bg.width % 8, 0);
    EXPECT_EQ(bg.height % 8, 0);
}

// Stars in the view of `width` x `height` at (x0, y0), wrapping round the picture: pixels
// brighter than their eight neighbours (the first of equal ones) and well above the sky three
// pixels away, so that the dither and the nebula's wisps do not count.
int StarsInView(const std::vector<int>& lightness, int picWidth, int picHeight, int x0, int y0, int width,
                int height) {
    const auto at = [&](int x, int y) {
        return lightness[static_cast<std::size_t>((y % picHeight + picHeight) % picHeight) * picWidth +
                         (x % picWidth + picWidth) % picWidth];
    };
    int stars = 0;
    for (int y = y0; y < y0 + height; ++y)
        for (int x = x0; x < x0 + width; ++x) {
            const int c = at(x, y);
            bool peak = true;
            for (int dy = -1; dy <= 1 && peak; ++dy)
                for (int dx = -1; dx <= 1 && peak; ++dx) {
                    const int n = at(x + dx, y + dy);
                    const bool earlier = dy < 0 || (dy == 0 && dx < 0);
                    if ((dx || dy) && (n > c || (n == c && earlier))) peak = false;
                }
            const int ring = (at(x - 3, y) + at(x + 3, y) + at(x, y - 3) + at(x, y + 3)) / 4;
            if (peak && c - ring >= 30) ++stars;
        }
    return stars;
}

TEST_F(GeneratedPictures, EveryScreenfulOfSkyHasItsShareOfStars) {
    // Wherever the scroll has brought a 1920 x 1080 screen, including across the edges, it sees
    // about as many stars as the sky was tuned for (some 3900): the stars grow with the picture.
    const Loaded& bg = *background_;
    const auto table = bg.Table();
    std::vector<int> lightness(static_cast<std::size_t>(bg.width) * bg.height);
    for (int y = 0; y < bg.height; ++y)
        for (int x = 0; x < bg.width; ++x) {
            const auto& c = table[bg.At(x, y)];
            lightness[static_cast<std::size_t>(y) * bg.width + x] = (3 * c.rgbRed + 6 * c.rgbGreen + c.rgbBlue) / 10;
        }
    for (int y0 = 0; y0 < bg.height; y0 += 1080)
        for (int x0 = 0; x0 < bg.width; x0 += 1920) {
            const int stars = StarsInView(lightness, bg.width, bg.height, x0, y0, 1920, 1080);
            EXPECT_GT(stars, 3000) << "view at " << x0 << ", " << y0;
            EXPECT_LT(stars, 5000) << "view at " << x0 << ", " << y0;
        }
}

TEST_F(GeneratedPictures, PaletteKeepsTheStaticColoursAtBothEnds) {
    const auto table = background_->Table();
    const auto& statics = plenova::platform::gdi::StaticColors();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(table[i].rgbRed, statics[i].peRed) << i;
        EXPECT_EQ(table[i].rgbGreen, statics[i].peGreen) << i;
        EXPECT_EQ(table[i].rgbBlue, statics[i].peBlue) << i;
        EXPECT_EQ(table[246 + i].rgbRed, statics[10 + i].peRed) << 246 + i;
        EXPECT_EQ(table[246 + i].rgbGreen, statics[10 + i].peGreen) << 246 + i;
        EXPECT_EQ(table[246 + i].rgbBlue, statics[10 + i].peBlue) << 246 + i;
    }
}

// How sharply the picture changes across the boundary just before column `x` (row `y`), wrapping
// round: the colour difference between the `band` columns on either side, averaged over the
// rows after dropping the 5 % largest (single stars that straddle the boundary). `band` 1
// compares neighbouring pixels; 4 averages the dither out and shows a jump in the nebula.
double TrimmedMean(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    v.resize(v.size() * 95 / 100);
    double sum = 0;
    for (double d : v) sum += d;
    return sum / v.size();
}

double ColumnStep(const Loaded& img, int x, int band) {
    const auto table = img.Table();
    std::vector<double> rows;
    for (int y = 0; y < img.height; ++y) {
        double diff[3] = {0, 0, 0};
        for (int k = 0; k < band; ++k) {
            const auto& a = table[img.At(((x - 1 - k) % img.width + img.width) % img.width, y)];
            const auto& b = table[img.At((x + k) % img.width, y)];
            diff[0] += a.rgbRed - b.rgbRed, diff[1] += a.rgbGreen - b.rgbGreen, diff[2] += a.rgbBlue - b.rgbBlue;
        }
        rows.push_back((std::abs(diff[0]) + std::abs(diff[1]) + std::abs(diff[2])) / band);
    }
    return TrimmedMean(rows);
}

double RowStep(const Loaded& img, int y, int band) {
    const auto table = img.Table();
    std::vector<double> columns;
    for (int x = 0; x < img.width; ++x) {
        double diff[3] = {0, 0, 0};
        for (int k = 0; k < band; ++k) {
            const auto& a = table[img.At(x, ((y - 1 - k) % img.height + img.height) % img.height)];
            const auto& b = table[img.At(x, (y + k) % img.height)];
            diff[0] += a.rgbRed - b.rgbRed, diff[1] += a.rgbGreen - b.rgbGreen, diff[2] += a.rgbBlue - b.rgbBlue;
        }
        columns.push_back((std::abs(diff[0]) + std::abs(diff[1]) + std::abs(diff[2])) / band);
    }
    return TrimmedMean(columns);
}

// The step at boundary `at` is no sharper than the steps at the 16 boundaries around it
// (half again their median at most): a seam shows as a spike among its neighbours.
template <class Step>
::testing::AssertionResult SmoothAt(Step step, int at, int count) {
    std::vector<double> around;
    for (int k = 1; k <= 8; ++k) {
        around.push_back(step((at + k) % count));
        around.push_back(step((at - k + count) % count));
    }
    std::sort(around.begin(), around.end());
    const double median = (around[7] + around[8]) / 2, here = step(at);
    if (here <= 1.5 * median) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "step " << here << " at boundary " << at << ", median around it " << median;
}

TEST_F(GeneratedPictures, BackgroundTilesWithoutSeam) {
    const Loaded& bg = *background_;
    for (int band : {1, 4}) {
        SCOPED_TRACE("band " + std::to_string(band));
        EXPECT_TRUE(SmoothAt([&](int x) { return ColumnStep(bg, x, band); }, 0, bg.width))
            << "last column to first";
        EXPECT_TRUE(SmoothAt([&](int y) { return RowStep(bg, y, band); }, 0, bg.height)) << "last row to first";
    }
}

TEST_F(GeneratedPictures, SeamCheckFindsARealSeam) {
    // Left half of the background followed by a slice from its middle: the join is a seam that
    // the check must notice.
    const Loaded& bg = *background_;
    Loaded joined;
    joined.dib = std::make_unique<CDib>();
    joined.width = bg.width;
    joined.height = bg.height;
    joined.dib->InfoAsLong() = bg.dib->InfoAsLong();
    joined.dib->RedimBytes(bg.dib->BitmapSize());
    const int half = bg.width / 2;
    for (int y = 0; y < bg.height; ++y)
        for (int x = 0; x < bg.width; ++x) {
            const int from = x < half ? x : x - half + bg.width / 4 + 37;
            joined.dib->set_Pixel(static_cast<std::int16_t>(x), static_cast<std::int16_t>(bg.height - 1 - y), bg.At(from, y));
        }
    EXPECT_FALSE(SmoothAt([&](int x) { return ColumnStep(joined, x, 4); }, half, joined.width));
    EXPECT_TRUE(SmoothAt([&](int x) { return ColumnStep(joined, x, 4); }, half / 2, joined.width))
        << "inside an untouched part the check finds nothing";
}

// --- the sprite frames -------------------------------------------------------------------

TEST_F(GeneratedPictures, SpriteFramesShareThePaletteAndLeaveTheirBorderTransparent) {
    const auto sceneTable = background_->Table();
    std::map<std::string, std::pair<int, int>> animationSize;
    for (const auto& file : assets::kSpriteFiles) {
        SCOPED_TRACE(std::string(file.name));
        const Loaded frame = LoadPicture(file.name);
        EXPECT_EQ(frame.width, file.width);
        EXPECT_EQ(frame.height, file.height);
        EXPECT_GE(std::min(frame.width, frame.height), 32);
        EXPECT_LE(std::max(frame.width, frame.height), 160);
        // Frames of one animation ("Ani000", "Ani110", "Ani120") share one size.
        const std::string animation(file.name.substr(0, 6));
        auto [it, fresh] = animationSize.try_emplace(animation, frame.width, frame.height);
        if (!fresh) {
            EXPECT_EQ(it->second, std::make_pair(frame.width, frame.height));
        }

        EXPECT_TRUE(frame.Table() == sceneTable) << "the colour table differs from the background's";
        for (int x = 0; x < frame.width; ++x) {
            EXPECT_EQ(frame.At(x, 0), assets::kTransparentIndex);
            EXPECT_EQ(frame.At(x, frame.height - 1), assets::kTransparentIndex);
        }
        for (int y = 0; y < frame.height; ++y) {
            EXPECT_EQ(frame.At(0, y), assets::kTransparentIndex);
            EXPECT_EQ(frame.At(frame.width - 1, y), assets::kTransparentIndex);
        }
        int figure = 0, reserved = 0;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x) {
                const int v = frame.At(x, y);
                if (v == assets::kTransparentIndex) continue;
                ++figure;
                if (v < assets::kFirstSceneIndex || v > assets::kLastSceneIndex) ++reserved;
            }
        EXPECT_EQ(reserved, 0) << "figure pixels in the static colours' entries";
        EXPECT_GT(figure, frame.width * frame.height / 8) << "hardly any figure in the frame";
    }
}

TEST_F(GeneratedPictures, AnimatedFiguresMove) {
    // Every frame of an animation differs from the frame before it, and the last from the first.
    for (const auto& group : {std::vector<std::string>{"Ani0000.bmp", "Ani0001.bmp", "Ani0002.bmp", "Ani0003.bmp"},
                              std::vector<std::string>{"Ani1100.bmp", "Ani1101.bmp", "Ani1102.bmp", "Ani1103.bmp"},
                              std::vector<std::string>{"Ani1200.bmp", "Ani1201.bmp", "Ani1202.bmp", "Ani1203.bmp",
                                                       "Ani1204.bmp", "Ani1205.bmp", "Ani1206.bmp", "Ani1207.bmp",
                                                       "Ani1208.bmp"}}) {
        std::vector<std::vector<std::uint8_t>> frames;
        for (const std::string& name : group) {
            const Loaded f = LoadPicture(name);
            frames.emplace_back(f.dib->BytesAsLong().begin(), f.dib->BytesAsLong().end());
        }
        for (std::size_t i = 0; i < frames.size(); ++i)
            EXPECT_NE(frames[i], frames[(i + 1) % frames.size()]) << group[i] << " and the next frame are the same";
    }
}

TEST_F(GeneratedPictures, NoStrayFilesForTheMissingSpriteFive) {
    // Sprite 5 shows "Ani0400.bmp" like sprite 4; there is no file of its own.
    EXPECT_FALSE(std::filesystem::exists(DistPath("Ani0500.bmp")));
}

// --- dialog and preview pictures, icons ----------------------------------------------------

TEST_F(GeneratedPictures, DialogAndPreviewPicturesHaveTheirSizes) {
    struct Expect {
        std::string_view name;
        int width, height;
    };
    for (const Expect& e : {Expect{assets::kPreview, assets::kPreviewWidth, assets::kPreviewHeight},
                            Expect{assets::kTitlePicture, 206, 71}, Expect{assets::kStar45, 45, 45},
                            Expect{assets::kStar31, 31, 31}, Expect{assets::kStar25, 25, 25},
                            Expect{assets::kStar15, 15, 15}}) {
        SCOPED_TRACE(std::string(e.name));
        const Loaded pic = LoadPicture(e.name);
        EXPECT_EQ(pic.width, e.width);
        EXPECT_EQ(pic.height, e.height);
        // The dialogs load them with Qt.
        const QImage image(QString::fromUtf8(DistPath(e.name).c_str()));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(e.width, e.height));
        EXPECT_EQ(image.format(), QImage::Format_Indexed8);
        // Drawn on black: the corners are black.
        EXPECT_EQ(qRed(image.pixel(0, 0)) + qGreen(image.pixel(0, 0)) + qBlue(image.pixel(0, 0)), 0);
    }
}

TEST_F(GeneratedPictures, IconsLoadWithBothSizesAndAMask) {
    for (std::string_view name : {assets::kProgramIcon, assets::kUpIcon, assets::kDownIcon}) {
        SCOPED_TRACE(std::string(name));
        QImageReader reader(QString::fromUtf8(DistPath(name).c_str()));
        ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
        EXPECT_EQ(reader.imageCount(), 2);
        std::vector<int> sizes;
        for (int i = 0; i < reader.imageCount(); ++i) {
            ASSERT_TRUE(reader.jumpToImage(i));
            const QImage image = reader.read();
            ASSERT_FALSE(image.isNull());
            EXPECT_EQ(image.width(), image.height());
            sizes.push_back(image.width());
            int clear = 0, solid = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) (qAlpha(image.pixel(x, y)) == 0 ? clear : solid)++;
            EXPECT_GT(clear, 0) << "no transparent pixels";
            EXPECT_GT(solid, image.width() * image.height() / 5) << "hardly anything drawn";
        }
        std::sort(sizes.begin(), sizes.end());
        EXPECT_EQ(sizes, (std::vector<int>{16, 32}));
    }
}

TEST_F(GeneratedPictures, ArrowIconsPointUpAndDown) {
    // An arrow's tip is its narrow end and its shaft the wide one: the up arrow's first drawn
    // row is narrower than its last, the down arrow's the other way round.
    auto ends = [](std::string_view name) {
        QImageReader reader(QString::fromUtf8(DistPath(name).c_str()));
        QImage image;
        for (int i = 0; i < reader.imageCount(); ++i) {
            reader.jumpToImage(i);
            image = reader.read();
            if (image.width() == 32) break;
        }
        std::vector<int> widths;
        for (int y = 0; y < image.height(); ++y) {
            int w = 0;
            for (int x = 0; x < image.width(); ++x) w += qAlpha(image.pixel(x, y)) > 0;
            if (w > 0) widths.push_back(w);
        }
        return std::make_pair(widths.front(), widths.back());
    };
    const auto up = ends(assets::kUpIcon);
    const auto down = ends(assets::kDownIcon);
    EXPECT_LT(up.first, up.second);
    EXPECT_GT(down.first, down.second);
}

} // namespace
