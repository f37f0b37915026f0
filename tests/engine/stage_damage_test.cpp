#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/cwingdc.h"
#include "engine/cwingstage.h"
#include "engine/wing.h"

namespace {

using namespace plenova::engine;
using plenova::Int16;
using plenova::Int32;
namespace wing = plenova::wing;

std::shared_ptr<CDib> MakeFrame(std::int32_t size, std::uint8_t fill) {
    auto dib = std::make_shared<CDib>();
    dib->InfoAsLong().bmiHeader = {40, size, size, 1, 8, 0, 0, 0, 0, 0, 0};
    dib->RedimBytes(dib->BitmapSize());
    auto px = dib->BytesAsLong();
    for (std::size_t i = 0; i < px.size(); ++i) {
        px[i] = i % 3 == 0 ? std::uint8_t{255} : static_cast<std::uint8_t>(fill + i % 7);
    }
    return dib;
}

// The buffer as seen: rows top to bottom, whatever the stored order.
std::vector<std::uint8_t> Visual(const CWinGBitmap& b) {
    const Int32 w = b.Width(), h = std::abs(b.Height()), D = b.ByteWidth();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w * h));
    for (Int32 y = 0; y < h; ++y) {
        const Int32 stored = b.Height() > 0 ? h - 1 - y : y;
        std::memcpy(out.data() + y * w, b.m_pSurface().data() + stored * D,
                    static_cast<std::size_t>(w));
    }
    return out;
}

// A screen kept up to date by damage alone (the previous picture moved, the rectangles sent
// from the new frame) must equal the new frame, through wraps of the background and drawings
// that cross every edge, in both row orders.
void RunFrames(int orientation) {
    wing::SetRecommendedOrientation(orientation);
    auto dc = std::make_shared<CWinGDC>();
    constexpr Int16 W = 50, H = 40, w = 37, h = 29;
    auto background = std::make_shared<CWinGBitmap>();
    background->Create(dc, W, H);
    std::mt19937 random(7);
    for (auto& p : background->m_pSurface()) p = static_cast<std::uint8_t>(random() % 200);
    auto buffer = std::make_shared<CWinGBitmap>();
    buffer->Create(dc, w, h);
    CWinGStage stage;
    stage.set_Background(background);
    stage.set_Buffer(buffer);
    const std::shared_ptr<CDib> frames[] = {MakeFrame(9, 200), MakeFrame(6, 220)};

    std::vector<std::uint8_t> screen;
    float ax = -12, ay = 3, bx = 30, by = -8;
    for (int frame = 0; frame < 400; ++frame) {
        // The background moves on both axes at changing speeds, wrapping many times.
        stage.set_bx(static_cast<Int16>(stage.bx() - 1 - frame % 3));
        stage.set_by(static_cast<Int16>(stage.by() + (frame % 5) - 2));
        stage.Render();
        ax += 0.7f;
        ay += 0.3f;
        bx -= 1.5f;
        by += 1.1f;
        if (ax > w) ax = -12;
        if (ay > h) ay = -12;
        if (bx < -10) bx = w + 3;
        if (by > h + 3) by = -8;
        const int drawn = frame % 11 == 5 ? 1 : 2;  // a drawing vanishes now and then
        const float xs[] = {ax, bx}, ys[] = {ay, by};
        for (int i = 0; i < drawn; ++i) {
            const auto x = static_cast<Int16>(xs[i]), y = static_cast<Int16>(ys[i]);
            buffer->TransparentDIBlt(x, y, frames[i], 0, 0, 0, 255);
            stage.NoteDrawn({x, y, frames[i]->Width(), frames[i]->Height()});
        }
        const std::vector<std::uint8_t> now = Visual(*buffer);
        const StageDamage damage = stage.Damage();
        if (frame == 0) {
            ASSERT_TRUE(damage.whole);
        } else {
            ASSERT_FALSE(damage.whole) << "frame " << frame;
        }
        if (damage.whole) {
            screen = now;
            continue;
        }
        std::vector<std::uint8_t> moved(screen.size(), 0);
        for (Int32 y = 0; y < h; ++y) {
            for (Int32 x = 0; x < w; ++x) {
                const Int32 sx = x - damage.dx, sy = y - damage.dy;
                if (sx >= 0 && sx < w && sy >= 0 && sy < h) moved[y * w + x] = screen[sy * w + sx];
            }
        }
        for (const StageRect& r : damage.rects) {
            for (Int32 y = r.y; y < r.y + r.height; ++y) {
                for (Int32 x = r.x; x < r.x + r.width; ++x) moved[y * w + x] = now[y * w + x];
            }
        }
        ASSERT_EQ(moved, now) << "frame " << frame << ", orientation " << orientation;
        screen = now;
    }
    wing::SetRecommendedOrientation(-1);
}

TEST(StageDamage, MovedPictureAndRectanglesGiveTheNextFrame) {
    RunFrames(-1);
    RunFrames(+1);
}

}  // namespace
