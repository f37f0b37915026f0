// The saver's scene: assets and their failures, the size handler's placement, speeds and bounds
// (worked out by hand below from a scripted random sequence), the composed frame pixel by pixel,
// the copy to the window, the edge events, the clock's dropped ticks and the palette's way in and
// out of the window. Screen: 640 x 480 pixels at 15 twips per pixel (9600 x 7200 twips), so the
// window's client area is 650 x 507 pixels. The scene's files are described in scene_files.h.
#include <algorithm>
#include <cmath>
#include <string>

#include <QBackingStore>
#include <QImage>
#include <QTimer>

#include "base/errors.h"
#include "engine/cdib.h"
#include "engine/cwingbitmap.h"
#include "engine/cwingdc.h"
#include "engine/cwingsprite.h"
#include "engine/cwingstage.h"
#include "form_test_support.h"
#include "platform/gdi.h"
#include "platform/random.h"
#include "saver/form1.h"
#include "saver/scr.h"
#include "scene_files.h"

using namespace plenova;
using namespace plenova::saver;
using plenova::testing::EndsProcess;
using plenova::testing::scene::BackgroundIndex;
using plenova::testing::scene::WindowColour;
namespace gdi = plenova::platform::gdi;

namespace {

constexpr float kMax = 0.99999994f;  // the largest random number below 1

class SceneTest : public plenova::testing::FormTest {
protected:
    SceneTest() {
        SCR::ResetGlobals();
        plenova::testing::scene::WriteSceneFiles(DataHostFolder());
        Write("App", "Dir", DataFolder());
    }
    ~SceneTest() override { SCR::ResetGlobals(); }

    // The saver window loaded (its load sequence ran: assets, size handler and its one frame
    // step) but not shown.
    Form1& LoadWindow() {
        SCR::spriteCount = 13;
        SCR::appDir = DataFolder();
        form_ = std::make_unique<Form1>();
        form_->Load();
        return *form_;
    }
    static engine::CWinGSprite& SpriteOf(Form1& form, int i) {
        return *form.sprites.at(static_cast<std::size_t>(i));
    }
    // Palette index of canvas pixel (x, y), y counted from the top.
    static std::uint8_t CanvasPixel(const Form1& form, int x, int y) {
        const engine::CWinGBitmap& canvas = *form.canvasBitmap;
        const int rows = std::abs(canvas.Height());
        const int stored = canvas.Height() > 0 ? rows - 1 - y : y;
        return canvas.m_pSurface()[static_cast<std::size_t>(stored * canvas.ByteWidth() + x)];
    }

    std::unique_ptr<Form1> form_;
};

// ----- assets -----

TEST_F(SceneTest, AssetsGiveEverySpriteItsFramesRangeTransparencyAndSink) {
    Form1& form = LoadWindow();
    EXPECT_EQ(form.frameCounts, (std::vector<Int16>{4, 4, 4, 4, 1, 1, 1, 1, 1, 1, 1, 4, 9}));
    EXPECT_EQ(form.edgeModes, std::vector<Int16>(13, 0));
    ASSERT_EQ(form.sprites.size(), 13u);
    ASSERT_TRUE(form.stage && form.backgroundBitmap && form.surfaceDC && form.canvasBitmap);
    EXPECT_EQ(form.stage->Background(), form.backgroundBitmap);
    EXPECT_EQ(form.backgroundBitmap->Width(), 700);
    EXPECT_EQ(std::abs(form.backgroundBitmap->Height()), 520);
    for (int i = 0; i < 13; ++i) {
        engine::CWinGSprite& s = SpriteOf(form, i);
        EXPECT_EQ(s.FirstFrame(), 0) << i;
        EXPECT_EQ(s.LastFrame(), form.frameCounts[i] - 1) << i;
        EXPECT_EQ(s.FrameUpperIndex(), std::max<int>(1, form.frameCounts[i] - 1)) << i;
        EXPECT_EQ(s.TransparentColor(), 255) << i;
        EXPECT_EQ(s.canvas(), form.canvasBitmap) << i;
    }
    // Sprites 0 to 3 read the same four files, each its own copies.
    for (int n = 0; n < 4; ++n) {
        EXPECT_NE(SpriteOf(form, 0).Frame(n), SpriteOf(form, 3).Frame(n));
        EXPECT_EQ(SpriteOf(form, 0).Frame(n)->Pixel(5, 5), 200 + n);
        EXPECT_EQ(SpriteOf(form, 3).Frame(n)->Pixel(5, 5), 200 + n);
    }
    // Sprites 4 and 5 show the same picture; 6 to 10 their own; 12 cycles through nine.
    EXPECT_NE(SpriteOf(form, 4).Frame(0), SpriteOf(form, 5).Frame(0));
    EXPECT_EQ(SpriteOf(form, 4).Frame(0)->Pixel(5, 5), 210);
    EXPECT_EQ(SpriteOf(form, 5).Frame(0)->Pixel(5, 5), 210);
    for (int i = 6; i <= 10; ++i) EXPECT_EQ(SpriteOf(form, i).Frame(0)->Pixel(5, 5), 205 + i);
    for (int n = 0; n < 9; ++n) EXPECT_EQ(SpriteOf(form, 12).Frame(n)->Pixel(5, 5), 230 + n);
    for (int n = 0; n < 4; ++n) EXPECT_EQ(SpriteOf(form, 11).Frame(n)->Pixel(5, 5), 220 + n);
    // The load's frame step advanced every animation by one frame.
    EXPECT_EQ(SpriteOf(form, 0).FrameNumber(), 1);
    EXPECT_EQ(SpriteOf(form, 7).FrameNumber(), 0);
    EXPECT_EQ(SpriteOf(form, 12).FrameNumber(), 1);
    EXPECT_TRUE(Boxes().empty());
    // Sprite i reports its edges with number i (sprite 12 lies on the screen: TOP and BOTTOM).
    std::vector<std::pair<Int16, std::string>> events;
    SpriteOf(form, 12).set_Sink(std::make_shared<engine::FunctionEventSink>(
        [&](Int16 n, const std::string& text) { events.emplace_back(n, text); }));
    SpriteOf(form, 12).CheckBounds();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().first, 12);
}

TEST_F(SceneTest, MissingBackgroundIsReportedOnceAndEndsBeforeTheSceneOrTheMusic) {
    std::filesystem::remove(DataHostFolder() / "背景.bmp");
    WriteDataFile("SCR.wav");
    EXPECT_TRUE(EndsProcess([&] { SCR::Main("/s"); }));
    const auto& boxes = Boxes();
    // The reader's own report of the file, then the saver's.
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Could not open " + DataFolder() + "背景.bmp.");
    EXPECT_EQ(boxes[1].text, " 背景画像がロードできません");
    EXPECT_EQ(boxes[1].caption, "PlenovaSaver");
    EXPECT_EQ(boxes[1].buttons, platform::MsgButtons::Ok);
    EXPECT_TRUE(platform::Multimedia().Records().empty());
    ASSERT_NE(SCR::form1(), nullptr);
    EXPECT_FALSE(SCR::form1()->isVisible());
    EXPECT_EQ(SCR::form1()->canvasBitmap, nullptr);
}

TEST_F(SceneTest, AnUnreadableFrameIsAnEmptyPictureThatDrawsNothing) {
    // Sprite 6's picture is missing, sprite 7's is cut short, sprite 8's is a 24-bit picture.
    std::filesystem::remove(DataHostFolder() / "Ani0600.bmp");
    std::vector<std::uint8_t> cut = plenova::testing::scene::Plain(40, 30, 212);
    cut.resize(cut.size() - 100);
    plenova::testing::scene::WriteFile(DataHostFolder() / "Ani0700.bmp", cut);
    std::vector<std::uint8_t> deep = plenova::testing::scene::Plain(40, 30, 213);
    deep[28] = 24;  // biBitCount: a whole 24-bit picture of 40 x 30 has 30 rows of 120 bytes
    deep.resize(54 + 30 * 120, 0);
    plenova::testing::scene::WriteFile(DataHostFolder() / "Ani0800.bmp", deep);
    platform::ScopedRandom random(std::make_shared<platform::SequenceRandom>(
        std::vector<float>{0.125f, 0.875f}));
    Form1& form = LoadWindow();
    for (int i : {6, 7, 8}) {
        engine::CWinGSprite& s = SpriteOf(form, i);
        ASSERT_NE(s.Frame(0), nullptr) << i;  // the frame is there all the same
        EXPECT_EQ(s.Width(), 0) << i;
        EXPECT_EQ(s.Height(), 0) << i;
    }
    // Sprite 6 placed as a point: w = h = 0, px = floor(12.5 - 50) = -38, py = floor(87.5 - 50)
    // = 37; x = (-38 x 9600 / 100 + 9600 / 2) / 15 = (-3648 + 4800) / 15 = 76.8,
    // y = (7200 / 2 - 37 x 7200 / 100) / 15 = (3600 - 2664) / 15 = 62.4; then one step of
    // Xv = 1.2 x 1.5 = 1.8000000715.
    EXPECT_EQ(SpriteOf(form, 6).Xv(), 1.8000000715f);
    EXPECT_EQ(SpriteOf(form, 6).x(), 76.8f + SpriteOf(form, 6).Xv());
    EXPECT_EQ(SpriteOf(form, 6).Y(), 62.4f);
    // Frame steps with the empty frames run and leave the background where they are.
    for (int i = 0; i < 13; ++i) {
        SpriteOf(form, i).set_Xv(0);
        SpriteOf(form, i).set_Yv(0);
        SpriteOf(form, i).MoveTo(i == 6 ? 300.0f : 10.0f, i == 6 ? 200.0f : 10.0f);
    }
    form.stage->set_bx(0);
    form.stage->set_by(0);
    EXPECT_NO_THROW(form.Form_Paint());
    EXPECT_EQ(CanvasPixel(form, 300, 200), BackgroundIndex(300, 200));
    // The reader reported its two failures; the saver itself reports nothing.
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].text, "Could not open " + DataFolder() + "Ani0600.bmp.");
    EXPECT_EQ(Boxes()[1].text, "Could not read all bytes.");
}

// ----- placement, speeds and bounds -----

TEST_F(SceneTest, SizeHandlerPlacesEverySpriteFromTheRandomNumbersAsWorkedOutByHand) {
    // SW = 9600, SH = 7200 twips, TX = TY = 15. Each sprite: reseed, rx, ry; sprites 11 and 12
    // then draw r for Xv, reseed, r for Yv. px = floor(rx x 100 - 50), py likewise.
    //   40 x 30 frames: w = 600, h = 450, SW - w = 9000, SH - h = 6750:
    //     x = (px x 90 + 4500) / 15 = 6 px + 300,  y = (3375 - py x 67.5) / 15 = 225 - 4.5 py
    //   24 x 32 frame (sprites 4, 5): w = 360, h = 480, SW - w = 9240, SH - h = 6720:
    //     x = (px x 92.4 + 4620) / 15,             y = (3360 - py x 67.2) / 15
    // sprite  rx        ry        px   py    x      y
    //   0     0         0         -50  -50   0      450    (left edge; touches the bottom)
    //   1     0.5       0.5       0    0     300    225
    //   2     0.25      0.75      -25  25    150    112.5
    //   3     0.75      0.25      25   -25   450    337.5
    //   4     0.25      0.5       -25  0     154    224
    //   5     0.5       0         0    -50   308    448
    //   6     0.125     0.875     -38  37    72     58.5   (12.5 - 50 = -37.5: floor -38)
    //   7     0.875     0.125     37   -38   522    396
    //   8     0.375     0.625     -13  12    222    171
    //   9     0.625     0.375     12   -13   372    283.5
    //   10    kMax      kMax      49   49    594    4.5    (99.99999 - 50: floor 49)
    //   11    0.5       0.5       0    0     300    225
    //   12    0.25      0.75      -25  25    150    112.5
    // Random speeds: sprite 11 (c = 5): r = 0 gives floor(-5) = -5, Xv = -7.5; r = kMax gives
    // floor(-5 + 11 x kMax) = floor(5.999999) = 5, Yv = 7.5. Sprite 12 (c = 3): r = 0.5 gives
    // floor(-3 + 3.5) = 0, Xv = 0; r = 0.25 gives floor(-3 + 1.75) = -2, Yv = -3.
    // Fixed speeds: Xv = speed x 1.5 in single precision, Yv = 0 x -1.5 = 0.
    auto random = std::make_shared<platform::SequenceRandom>(std::vector<float>{
        0, 0, 0.5f, 0.5f, 0.25f, 0.75f, 0.75f, 0.25f, 0.25f, 0.5f, 0.5f, 0, 0.125f, 0.875f,
        0.875f, 0.125f, 0.375f, 0.625f, 0.625f, 0.375f, kMax, kMax,
        0.5f, 0.5f, 0, kMax,            // sprite 11
        0.25f, 0.75f, 0.5f, 0.25f});    // sprite 12
    platform::ScopedRandom scoped(random);
    Form1& form = LoadWindow();

    struct Expected {
        float x, y, xv, yv;
    };
    const Expected expected[13] = {
        {0, 450, 1.2000000477f, 0},      {300, 225, 1.3499999046f, 0},
        {150, 112.5f, 1.0499999523f, 0}, {450, 337.5f, 1.5f, 0},
        {154, 224, 1.5f, 0},             {308, 448, 1.6500000954f, 0},
        {72, 58.5f, 1.8000000715f, 0},   {522, 396, 1.9499999285f, 0},
        {222, 171, 2.0999999046f, 0},    {372, 283.5f, 2.25f, 0},
        {594, 4.5f, 2.4000000954f, 0},   {300, 225, -7.5f, 7.5f},
        {150, 112.5f, 0, -3},
    };
    for (int i = 0; i < 13; ++i) {
        engine::CWinGSprite& s = SpriteOf(form, i);
        EXPECT_EQ(s.Xv(), expected[i].xv) << i;
        EXPECT_EQ(s.Yv(), expected[i].yv) << i;
        // The load's one frame step moved every sprite by its speed once.
        EXPECT_EQ(s.x(), expected[i].x + expected[i].xv) << i;
        EXPECT_EQ(s.Y(), expected[i].y + expected[i].yv) << i;
        EXPECT_EQ(s.Fv(), 1) << i;
        // Bounds: left round(-10 / 15) = -1, top -1, width round(9700 / 15) = 647, height
        // round(7300 / 15) = 487; right = -1 + 647, bottom = -1 + 487.
        EXPECT_EQ(s.BoundLeft(), -1) << i;
        EXPECT_EQ(s.BoundTop(), -1) << i;
        EXPECT_EQ(s.BoundRight(), 646) << i;
        EXPECT_EQ(s.BoundBottom(), 486) << i;
    }
    // Sprite 11 after one step: 300 - 7.5 and 225 + 7.5, exactly.
    EXPECT_EQ(SpriteOf(form, 11).x(), 292.5f);
    EXPECT_EQ(SpriteOf(form, 11).Y(), 232.5f);
    // Reseeds before each placement and between the two random speeds, in this order.
    std::string calls(random->Calls().begin(), random->Calls().end());
    std::string order;
    for (int i = 0; i < 11; ++i) order += "RNN";
    order += "RNNNRNRNNNRN";
    EXPECT_EQ(calls, order);
    // Background: round(0.7 x -1) = -1 per tick across, 0 up and down.
    EXPECT_EQ(form.scrollStepX, -1);
    EXPECT_EQ(form.scrollStepY, 0);
    // The canvas has the window's client size.
    EXPECT_EQ(form.canvasBitmap->Width(), 650);
    EXPECT_EQ(std::abs(form.canvasBitmap->Height()), 507);
}

TEST_F(SceneTest, BoundsFollowTheTwipsPerPixel) {
    screen_->Set({800, 600, 12, 12});
    Form1& form = LoadWindow();
    // round(-10 / 12) = -1; round(9700 / 12) = round(808.3) = 808 = 800 + 8;
    // round(7300 / 12) = round(608.3) = 608 = 600 + 8.
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(SpriteOf(form, i).BoundLeft(), -1);
        EXPECT_EQ(SpriteOf(form, i).BoundTop(), -1);
        EXPECT_EQ(SpriteOf(form, i).BoundRight(), -1 + 808);
        EXPECT_EQ(SpriteOf(form, i).BoundBottom(), -1 + 608);
    }
}

TEST_F(SceneTest, SeededGeneratorRepeatsItsSceneAndKeepsEverySpriteOnTheScreen) {
    struct Start {
        float x, y, xv, yv;
        bool operator==(const Start&) const = default;
    };
    const auto run = [&](std::uint64_t seed) {
        auto seeded = std::make_shared<platform::SeededRandom>(seed);
        platform::ScopedRandom scoped(seeded);
        Form1& form = LoadWindow();
        EXPECT_EQ(seeded->Reseeds(), 15);
        std::vector<Start> starts;
        for (int i = 0; i < 13; ++i) {
            engine::CWinGSprite& s = SpriteOf(form, i);
            // Back to where the size handler put it (speeds are whole 1.5 steps or table values).
            starts.push_back({s.x() - s.Xv(), s.Y() - s.Yv(), s.Xv(), s.Yv()});
        }
        return starts;
    };
    const std::vector<Start> first = run(20240601);
    EXPECT_EQ(run(20240601), first);
    EXPECT_NE(run(7), first);
    int distinct = 0;
    for (int i = 0; i < 13; ++i) {
        const float w = i == 4 || i == 5 ? 24 : 40, h = i == 4 || i == 5 ? 32 : 30;
        EXPECT_GE(first[i].x, -0.001f) << i;
        EXPECT_LE(first[i].x, 640 - w + 0.001f) << i;
        EXPECT_GE(first[i].y, -0.001f) << i;
        EXPECT_LE(first[i].y, 480 - h + 0.001f) << i;
        if (i > 0 && (first[i].x != first[0].x || first[i].y != first[0].y)) ++distinct;
    }
    EXPECT_GE(distinct, 10);  // reseeds within one millisecond do not repeat the numbers
    for (int i : {11, 12}) {
        const float c = i == 11 ? 5 : 3;
        for (float v : {first[i].xv, first[i].yv}) {
            EXPECT_EQ(v / 1.5f, std::floor(v / 1.5f)) << i;
            EXPECT_LE(std::abs(v), 1.5f * c) << i;
        }
    }
}

// ----- the frame -----

TEST_F(SceneTest, FrameIsTheBackgroundAtItsOffsetsWithTheSpritesOverItInIndexOrder) {
    Form1& form = LoadWindow();
    for (int i = 0; i < 13; ++i) {
        engine::CWinGSprite& s = SpriteOf(form, i);
        s.set_Xv(0);
        s.set_Yv(0);
        s.set_Fv(0);
        s.set_FrameNumber(0);
        s.MoveTo(600, 470);  // out of the way, still on the screen
    }
    // Sprite 0 (40 x 30, 200, holes at (1, 1) and (38, 28)) at x 100.5 -> column 100 (halves to
    // even), y 50. Sprite 4 (24 x 32, 210, hole at (0, 0)) at 101.5 -> 102, 51.5 -> 52, over it.
    SpriteOf(form, 0).MoveTo(100.5f, 50);
    SpriteOf(form, 4).MoveTo(101.5f, 51.5f);
    // Background offsets 690 across (wraps after 10 columns) and 500 down (after 20 rows).
    form.stage->set_bx(690);
    form.stage->set_by(500);
    form.Form_Paint();

    // Background: canvas (x, y) shows background ((690 + x) mod 700, (500 + y) mod 520).
    EXPECT_EQ(CanvasPixel(form, 0, 0), BackgroundIndex(690, 500));
    EXPECT_EQ(CanvasPixel(form, 9, 0), BackgroundIndex(699, 500));
    EXPECT_EQ(CanvasPixel(form, 10, 0), BackgroundIndex(0, 500));
    EXPECT_EQ(CanvasPixel(form, 0, 19), BackgroundIndex(690, 519));
    EXPECT_EQ(CanvasPixel(form, 0, 20), BackgroundIndex(690, 0));
    EXPECT_EQ(CanvasPixel(form, 10, 20), BackgroundIndex(0, 0));
    EXPECT_EQ(CanvasPixel(form, 300, 300), BackgroundIndex(290, 280));
    EXPECT_EQ(CanvasPixel(form, 649, 506), BackgroundIndex(639, 486));
    // Sprite 0 from (100, 50) to (139, 79); its holes show the background.
    EXPECT_EQ(CanvasPixel(form, 100, 50), 200);
    EXPECT_EQ(CanvasPixel(form, 101, 51), BackgroundIndex(91, 31));
    EXPECT_EQ(CanvasPixel(form, 138, 78), BackgroundIndex(128, 58));
    EXPECT_EQ(CanvasPixel(form, 139, 79), 200);
    EXPECT_EQ(CanvasPixel(form, 99, 50), BackgroundIndex(89, 30));
    EXPECT_EQ(CanvasPixel(form, 140, 50), BackgroundIndex(130, 30));
    EXPECT_EQ(CanvasPixel(form, 100, 80), BackgroundIndex(90, 60));
    // Sprite 4 from (102, 52) to (125, 83) over sprite 0; its hole shows sprite 0.
    EXPECT_EQ(CanvasPixel(form, 102, 52), 200);
    EXPECT_EQ(CanvasPixel(form, 103, 52), 210);
    EXPECT_EQ(CanvasPixel(form, 102, 53), 210);
    EXPECT_EQ(CanvasPixel(form, 125, 83), 210);
    EXPECT_EQ(CanvasPixel(form, 126, 60), 200);
    EXPECT_EQ(CanvasPixel(form, 126, 83), BackgroundIndex(116, 63));
    // The later sprites (frame 0 of 11: 220, of 12: 230) lie at (600, 470); 12 is on top.
    EXPECT_EQ(CanvasPixel(form, 600, 470), 230);
}

TEST_F(SceneTest, FrameReachesTheWindowWholeInOneCopy) {
    SCR::Main("/s");
    Form1& form = *SCR::form1();
    plenova::testing::FlushEventLoop();  // the window is on the (offscreen) screen
    const std::uint64_t shown = form.Counters().framesShown;
    form.Form_Paint();
    EXPECT_EQ(form.Counters().framesShown, shown + 1);
    EXPECT_TRUE(form.Counters().directCopy);  // straight into the window system's image
    ASSERT_NE(form.backingStore(), nullptr);
    ASSERT_EQ(form.backingStore()->paintDevice()->devType(), QInternal::Image);
    const QImage& window = *static_cast<QImage*>(form.backingStore()->paintDevice());
    ASSERT_GE(window.width(), 650);
    ASSERT_GE(window.height(), 507);
    int wrong = 0;
    for (int y = 0; y < 507; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(window.constScanLine(y));
        for (int x = 0; x < 650; ++x) {
            if (row[x] != WindowColour(CanvasPixel(form, x, y))) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// ----- edge events -----

TEST_F(SceneTest, WrappingSpriteReturnsAtTheOppositeEdgeOnlyOnceItHasLeftTheScreen) {
    Form1& form = LoadWindow();
    engine::CWinGSprite& s = SpriteOf(form, 4);  // 24 x 32; the screen is 640 x 480 pixels
    const auto event = [&](float x, float y, const char* text) {
        s.MoveTo(x, y);
        form.EventSink1_Event(4, text);
        return std::pair{s.x(), s.Y()};
    };
    using P = std::pair<float, float>;
    EXPECT_EQ(event(10, -32, "TOP"), (P{10, 480}));
    EXPECT_EQ(event(10, -32, "BOTTOM"), (P{10, 480}));
    EXPECT_EQ(event(10, -31.5f, "TOP"), (P{10, -31.5f}));
    EXPECT_EQ(event(10, 480, "BOTTOM"), (P{10, 480}));
    EXPECT_EQ(event(10, 480.5f, "TOP"), (P{10, -32}));
    EXPECT_EQ(event(-24, 7, "LEFT"), (P{-24, 7}));
    EXPECT_EQ(event(-24.5f, 7, "LEFT"), (P{640, 7}));
    EXPECT_EQ(event(640, 7, "RIGHT"), (P{640, 7}));
    EXPECT_EQ(event(640.5f, 7, "RIGHT"), (P{-24, 7}));
    // Vertical position alone decides; a horizontal report never moves it vertically.
    EXPECT_EQ(event(-24.5f, -40, "RIGHT"), (P{-24.5f, -40}));
    for (const char* other : {"top", "MIDDLE", "", "LEFT "})
        EXPECT_EQ(event(-100, -100, other), (P{-100, -100})) << other;
    EXPECT_THROW(form.EventSink1_Event(13, "TOP"), SubscriptOutOfRangeError);
}

TEST_F(SceneTest, BouncingSpriteTurnsAroundOnTheAxisOfTheReport) {
    Form1& form = LoadWindow();
    form.edgeModes[4] = 1;
    engine::CWinGSprite& s = SpriteOf(form, 4);
    s.MoveTo(-500, -500);
    s.set_Xv(3);
    s.set_Yv(2);
    form.EventSink1_Event(4, "TOP");
    EXPECT_EQ(s.Yv(), -2);
    form.EventSink1_Event(4, "BOTTOM");
    EXPECT_EQ(s.Yv(), 2);
    form.EventSink1_Event(4, "LEFT");
    EXPECT_EQ(s.Xv(), -3);
    form.EventSink1_Event(4, "RIGHT");
    EXPECT_EQ(s.Xv(), 3);
    form.EventSink1_Event(4, "AROUND");
    EXPECT_EQ(s.Xv(), 3);
    EXPECT_EQ(s.Yv(), 2);
    EXPECT_EQ(s.x(), -500);  // a bounce never moves the sprite itself
}

TEST_F(SceneTest, EdgeEventIsHandledBeforeTheNextSpriteMoves) {
    Form1& form = LoadWindow();
    for (int i = 0; i < 13; ++i) {
        SpriteOf(form, i).set_Xv(0);
        SpriteOf(form, i).set_Yv(0);
        SpriteOf(form, i).MoveTo(300, 200);
    }
    // Sprite 0 (40 wide) steps from -40.25 to -40.75: beyond -Width, so it wraps to x = 640.
    SpriteOf(form, 0).MoveTo(-40.25f, 100);
    SpriteOf(form, 0).set_Xv(-0.5f);
    // Sprite 1's own report (it lies on the screen) finds sprite 0 moved already.
    std::vector<float> seen;
    SpriteOf(form, 1).set_Sink(std::make_shared<engine::FunctionEventSink>(
        [&](Int16, const std::string&) { seen.push_back(SpriteOf(form, 0).x()); }));
    form.Form_Paint();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 640);
    EXPECT_EQ(SpriteOf(form, 0).Y(), 100);
}

// ----- the clock -----

TEST_F(SceneTest, TickArrivingDuringATickIsDroppedAndRunsNoFrameStep) {
    Form1& form = LoadWindow();
    form.Timer1.stop();  // only the ticks the test sends
    form.stage->set_bx(10);
    const std::uint64_t steps = form.Counters().frameSteps;
    const float x = SpriteOf(form, 9).x();  // Xv 2.25
    int nested = 0;
    // A tick that the tick's own event pumping delivers.
    QTimer::singleShot(0, &form, [&] {
        EXPECT_EQ(form.paintBusy, kTrue);
        form.Timer1_Timer();
        ++nested;
    });
    form.Timer1_Timer();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(form.paintBusy, kFalse);
    EXPECT_EQ(form.Counters().frameSteps, steps + 1);
    EXPECT_EQ(form.Counters().ticksDropped, 1u);
    EXPECT_EQ(form.stage->bx(), 9);  // one scroll step only
    EXPECT_EQ(SpriteOf(form, 9).x(), x + 2.25f);
}

TEST_F(SceneTest, TicksScrollTheBackgroundAndWrapAtItsEdge) {
    Form1& form = LoadWindow();
    form.Timer1.stop();
    for (int i = 0; i < 13; ++i) {
        SpriteOf(form, i).set_Xv(0);
        SpriteOf(form, i).set_Yv(0);
        SpriteOf(form, i).MoveTo(300, 200);
    }
    form.stage->set_bx(1);
    form.Timer1_Timer();
    EXPECT_EQ(form.stage->bx(), 0);
    EXPECT_EQ(CanvasPixel(form, 0, 0), BackgroundIndex(0, form.stage->by()));
    form.Timer1_Timer();  // -1 becomes 699 when the stage renders
    EXPECT_EQ(form.stage->bx(), 699);
    EXPECT_EQ(CanvasPixel(form, 0, 0), BackgroundIndex(699, 0));
    EXPECT_EQ(CanvasPixel(form, 1, 0), BackgroundIndex(0, 0));
}

// ----- the palette -----

TEST_F(SceneTest, ScenePaletteIsSelectedIntoTheWindowAndTheWindowsOwnComesBack) {
    Form1& form = LoadWindow();
    const gdi::HPALETTE own = gdi::DefaultPalette();
    EXPECT_EQ(static_cast<gdi::HPALETTE>(form.previousPalette), own);
    const auto selected = [&] {
        const gdi::HPALETTE current = gdi::SelectPalette(form.hDC(), own, false);
        gdi::SelectPalette(form.hDC(), current, false);
        return current;
    };
    EXPECT_EQ(selected(), form.canvasBitmap->pal()->hPal());
    // The canvas's colour table is the background's palette.
    const gdi::Surface8* canvas = gdi::GetSurface8(form.canvasBitmap->hBM());
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(canvas->xrgb[100], WindowColour(100));

    // A second size: the window's own palette goes back first, so it is still the one kept;
    // the old canvas and its palette are released.
    form.show();
    plenova::testing::FlushEventLoop();
    const std::size_t objects = gdi::LiveObjectCount();
    form.resize(700, 520);
    EXPECT_EQ(form.canvasBitmap->Width(), 700);
    EXPECT_EQ(static_cast<gdi::HPALETTE>(form.previousPalette), own);
    EXPECT_EQ(selected(), form.canvasBitmap->pal()->hPal());
    EXPECT_EQ(gdi::LiveObjectCount(), objects);

    // The unload puts the window's own palette back.
    EXPECT_TRUE(EndsProcess([&] { form.Unload(); }));
    EXPECT_EQ(selected(), own);
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
