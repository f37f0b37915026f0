#include <gtest/gtest.h>

#include <cfloat>
#include <random>

#include "base/errors.h"
#include "engine/cwingdc.h"
#include "engine/cwingsprite.h"
#include "engine/cwingstage.h"
#include "engine/wing.h"

namespace {

using namespace plenova::engine;
using plenova::Int16;
namespace wing = plenova::wing;
using plenova::Int32;

// A frame picture of the given size, every pixel `fill`, made without a file.
std::shared_ptr<CDib> MakeFrame(std::int32_t width, std::int32_t height, std::uint8_t fill) {
    auto dib = std::make_shared<CDib>();
    dib->InfoAsLong().bmiHeader = {40, width, height, 1, 8, 0, 0, 0, 0, 0, 0};
    dib->RedimBytes(dib->BitmapSize());
    std::fill(dib->BytesAsLong().begin(), dib->BytesAsLong().end(), fill);
    return dib;
}

struct Recorder : EventSink {
    std::vector<std::pair<Int16, std::string>> events;
    std::function<void(const std::string&)> onEvent;
    void FireEvent(Int16 n, const std::string& data) override {
        events.emplace_back(n, data);
        if (onEvent) onEvent(data);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (auto& e : events) t.push_back(e.second);
        return t;
    }
};
using Texts = std::vector<std::string>;

TEST(CWinGSprite, FramesCycleThroughTheirRange) {
    CWinGSprite s;
    EXPECT_EQ(s.FrameNumber(), -1);
    EXPECT_EQ(s.FrameUpperIndex(), 1);
    s.set_FirstFrame(0);
    s.set_LastFrame(3);
    s.set_Fv(1);
    s.set_FrameNumber(0);
    std::vector<Int16> seen;
    for (int i = 0; i < 5; ++i) {
        s.AdvanceFrame();
        seen.push_back(s.FrameNumber());
    }
    EXPECT_EQ(seen, (std::vector<Int16>{1, 2, 3, 0, 1}));
    s.set_FrameNumber(0);
    s.set_Fv(-1);
    s.AdvanceFrame();
    EXPECT_EQ(s.FrameNumber(), 3);
    s.set_Fv(0);
    s.AdvanceFrame();
    EXPECT_EQ(s.FrameNumber(), 3);
    s.set_FrameNumber(32767);
    s.set_Fv(1);
    EXPECT_THROW(s.AdvanceFrame(), plenova::OverflowError);
}

TEST(CWinGSprite, FrameSlots) {
    CWinGSprite s;
    auto f = MakeFrame(4, 3, 1);
    s.AddFrame(f, 5);
    EXPECT_EQ(s.FrameUpperIndex(), 5);
    for (Int16 i = 0; i < 5; ++i) EXPECT_EQ(s.Frame(i), nullptr);
    EXPECT_EQ(s.Frame(5), f);
    EXPECT_THROW(s.Width(), plenova::SubscriptOutOfRangeError) << "frame -1 before it is set";
    s.set_FrameNumber(2);
    EXPECT_THROW(s.Height(), plenova::MissingObjectError);
    s.set_FrameNumber(5);
    EXPECT_EQ(s.Width(), 4);
    EXPECT_EQ(s.Height(), 3);
    s.DelFrame(5);
    EXPECT_EQ(s.FrameUpperIndex(), 5);
    EXPECT_EQ(s.Frame(5), nullptr);
    EXPECT_THROW(s.Frame(6), plenova::SubscriptOutOfRangeError);
    EXPECT_THROW(s.AddFrame(f, -1), plenova::SubscriptOutOfRangeError);
}

TEST(CWinGSprite, CheckBoundsReportsEdgesInOrderReadingAfresh) {
    CWinGSprite s;
    s.AddFrame(MakeFrame(10, 10, 0), 0);
    s.set_FrameNumber(0);
    s.Bounds(0, 0, 100, 100);
    EXPECT_EQ(s.BoundRight(), 100);
    EXPECT_EQ(s.BoundBottom(), 100);
    s.CheckBounds();  // no sink: nothing happens
    auto sink = std::make_shared<Recorder>();
    s.set_Sink(sink);
    s.set_ID_Done(7);
    s.MoveTo(50, 5);
    s.CheckBounds();
    EXPECT_EQ(sink->Texts(), (Texts{"BOTTOM", "TOP"}));
    EXPECT_EQ(sink->events[0].first, 7);

    sink->events.clear();
    s.MoveTo(-0.5f, 95);  // y + 10 = 105: not below bottom; x < 0: left
    s.CheckBounds();
    EXPECT_EQ(sink->Texts(), (Texts{"TOP", "LEFT"}));
    sink->events.clear();
    s.MoveTo(0, 95);
    s.CheckBounds();
    EXPECT_EQ(sink->Texts(), (Texts{"TOP"}));

    // A receiver that moves the sprite changes what the later tests see.
    sink->events.clear();
    sink->onEvent = [&](const std::string& e) {
        if (e == "TOP") s.MoveTo(95, -20);
    };
    s.MoveTo(10, 50);
    s.CheckBounds();
    EXPECT_EQ(sink->Texts(), (Texts{"BOTTOM", "TOP", "RIGHT"}));
    EXPECT_THROW(s.Bounds(32000, 0, 1000, 0), plenova::OverflowError);
}

TEST(CWinGSprite, FunctionSinkDeliversSynchronously) {
    CWinGSprite s;
    s.AddFrame(MakeFrame(1, 1, 0), 0);
    s.set_FrameNumber(0);
    s.Bounds(0, 0, 10, 10);
    std::vector<std::string> got;
    s.set_Sink(std::make_shared<FunctionEventSink>(
        [&](Int16 n, const std::string& d) { got.push_back(std::to_string(n) + d); }));
    s.set_ID_Done(3);
    s.MoveTo(-1, 20);
    s.CheckBounds();
    EXPECT_EQ(got, (Texts{"3TOP", "3LEFT"}));
}

TEST(CWinGSprite, DrawRoundsHalvesToEvenAndTickRunsInOrder) {
    wing::SetRecommendedOrientation(-1);
    auto dc = std::make_shared<CWinGDC>();
    auto canvas = std::make_shared<CWinGBitmap>();
    canvas->Create(dc, 32, 4);
    CWinGSprite s;
    s.set_canvas(canvas);
    s.AddFrame(MakeFrame(1, 1, 9), 0);
    s.set_FrameNumber(0);
    s.set_TransparentColor(255);
    s.MoveTo(10.5f, 0);
    s.Draw();
    s.MoveTo(11.5f, 1.5f);
    s.Draw();
    auto px = canvas->m_pSurface();
    EXPECT_EQ(px[10], 9);
    EXPECT_EQ(px[11], 0);
    EXPECT_EQ(px[2 * 32 + 12], 9);

    // Tick: advance, step, bounds check (sees the moved position), then draw.
    std::fill(px.begin(), px.end(), 0);
    s.set_Xv(2);
    s.set_Yv(1);
    s.MoveTo(3, 0);
    s.Bounds(0, 0, 32, 4);
    float seenX = 0;
    s.set_Sink(std::make_shared<FunctionEventSink>([&](Int16, const std::string&) {
        seenX = s.x();
        EXPECT_EQ(canvas->m_pSurface()[1 * 32 + 5], 0) << "drawn only after the check";
    }));
    s.Tick();
    EXPECT_EQ(seenX, 5.0f);
    EXPECT_EQ(px[1 * 32 + 5], 9);
    s.set_canvas(nullptr);
    EXPECT_THROW(s.Draw(), plenova::MissingObjectError);
}

TEST(CPoint, StepAddsVelocityAndOverflowIsAnError) {
    CPoint p;
    p.MoveTo(1.25f, -2);
    p.set_Xv(0.5f);
    p.set_Yv(-1);
    p.Step();
    EXPECT_EQ(p.x(), 1.75f);
    EXPECT_EQ(p.Y(), -3.0f);
    p.MoveTo(FLT_MAX, 0);
    p.set_Xv(FLT_MAX);
    EXPECT_THROW(p.Step(), plenova::OverflowError);
}

class StageTest : public ::testing::Test {
protected:
    // Background W x H whose byte at (column c, stored row r) is (c * 7 + r * 13) & 0xFF.
    void Make(Int16 W, Int16 H, Int16 w, Int16 h) {
        background_ = std::make_shared<CWinGBitmap>();
        background_->Create(dc_, W, H);
        buffer_ = std::make_shared<CWinGBitmap>();
        buffer_->Create(dc_, w, h);
        auto px = background_->m_pSurface();
        const Int32 S = background_->ByteWidth();
        for (Int32 r = 0; r < std::abs(background_->Height()); ++r) {
            for (Int32 c = 0; c < W; ++c) px[r * S + c] = Expected(c, r);
        }
        stage_.set_Background(background_);
        stage_.set_Buffer(buffer_);
    }
    static std::uint8_t Expected(Int32 c, Int32 r) { return static_cast<std::uint8_t>(c * 7 + r * 13); }
    // Every buffer pixel holds background pixel ((bx + j) mod W, (by + i) mod H).
    void ExpectPicture() {
        const Int32 W = background_->Width(), H = std::abs(background_->Height());
        const Int32 w = buffer_->Width(), h = std::abs(buffer_->Height());
        const Int32 D = buffer_->ByteWidth();
        auto px = buffer_->m_pSurface();
        for (Int32 i = 0; i < h; ++i) {
            for (Int32 j = 0; j < w; ++j) {
                ASSERT_EQ(px[i * D + j], Expected((stage_.bx() + j) % W, (stage_.by() + i) % H))
                    << "row " << i << " col " << j << " at " << stage_.bx() << "," << stage_.by();
            }
        }
    }
    std::vector<RenderPiece> Pieces() const {
        std::vector<RenderPiece> p;
        for (std::size_t i = 0; i < stage_.LastPieceCount(); ++i) p.push_back(stage_.LastPiece(i));
        return p;
    }
    using P = std::vector<RenderPiece>;

    std::shared_ptr<CWinGDC> dc_ = std::make_shared<CWinGDC>();
    std::shared_ptr<CWinGBitmap> background_, buffer_;
    CWinGStage stage_;
};

TEST_F(StageTest, ClassicPieces) {
    Make(800, 600, 640, 480);
    const Int32 S = 800, D = 640;
    stage_.set_bx(700);
    stage_.Render();
    EXPECT_EQ(Pieces(), (P{{0, 700, 100, 480}, {100, 0, 540, 480}}));
    ExpectPicture();

    stage_.set_bx(0);
    stage_.set_by(200);
    stage_.Render();
    EXPECT_EQ(Pieces(), (P{{0, 200 * S, 640, 400}, {400 * D, 0, 640, 80}}));
    ExpectPicture();

    stage_.set_bx(160);  // 160 + 640 = 800: still no wrap
    stage_.set_by(120);
    stage_.Render();
    EXPECT_EQ(Pieces(), (P{{0, 120 * S + 160, 640, 480}}));
    ExpectPicture();

    stage_.set_bx(500);
    stage_.set_by(400);
    stage_.Render();
    EXPECT_EQ(Pieces(), (P{{0, 400 * S + 500, 300, 200},
                           {300, 400 * S, 340, 200},
                           {200 * D, 500, 300, 280},
                           {200 * D + 300, 0, 340, 280}}));
    ExpectPicture();
}

TEST_F(StageTest, NormalisationAtTheEdges) {
    Make(800, 600, 640, 480);
    stage_.set_bx(800);  // not normalised: an empty piece, then the picture from column 0
    stage_.Render();
    EXPECT_EQ(stage_.bx(), 800);
    EXPECT_EQ(Pieces(), (P{{0, 800, 0, 480}, {0, 0, 640, 480}}));
    stage_.set_bx(0);
    ExpectPicture();

    stage_.set_bx(-1);
    stage_.Render();
    EXPECT_EQ(stage_.bx(), 799);
    EXPECT_EQ(Pieces()[0], (RenderPiece{0, 799, 1, 480}));
    ExpectPicture();

    // Offsets further out than one background size are reduced fully.
    stage_.set_bx(-2500);
    stage_.set_by(3000);
    stage_.Render();
    EXPECT_EQ(stage_.bx(), 700);
    EXPECT_EQ(stage_.by(), 0);
    ExpectPicture();
}

TEST_F(StageTest, ScrollingOneStepAtATimeWrapsEndlessly) {
    Make(64, 40, 50, 30);
    for (int step = 0; step < 150; ++step) {
        stage_.set_bx(static_cast<Int16>(stage_.bx() - 1));
        stage_.set_by(static_cast<Int16>(stage_.by() + 1));
        stage_.Render();
        ASSERT_GE(stage_.bx(), 0);
        ExpectPicture();
    }
}

TEST_F(StageTest, BufferLargerThanTheBackgroundIsTiled) {
    Make(30, 20, 75, 50);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> off(-100, 100);
    for (int i = 0; i < 40; ++i) {
        stage_.set_bx(static_cast<Int16>(off(rng)));
        stage_.set_by(static_cast<Int16>(off(rng)));
        stage_.Render();
        ExpectPicture();
    }
    stage_.set_bx(5);
    stage_.set_by(0);
    stage_.Render();
    // Columns 25 + 30 + 20, rows 20 + 20 + 10.
    EXPECT_EQ(stage_.LastPieceCount(), 9u);
    EXPECT_EQ(stage_.LastPiece(1), (RenderPiece{25, 0, 30, 20}));
}

TEST_F(StageTest, BackgroundThatIsItsOwnBufferStaysInside) {
    Make(64, 40, 64, 40);
    stage_.set_Buffer(background_);
    stage_.set_bx(10);
    stage_.set_by(5);
    EXPECT_NO_THROW(stage_.Render());
    EXPECT_EQ(stage_.LastPieceCount(), 4u);
}

TEST_F(StageTest, MissingSurfacesAndOverflow) {
    Make(800, 600, 640, 480);
    stage_.set_Buffer(nullptr);
    EXPECT_THROW(stage_.Render(), plenova::MissingObjectError);
    CWinGStage empty;
    EXPECT_THROW(empty.Render(), plenova::MissingObjectError);
}

}  // namespace
