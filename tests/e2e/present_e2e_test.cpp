// End-to-end: the screen shows exactly the frames the saver composed while it sends only what
// changed (the server moves the picture, the saver sends the uncovered strip and the sprites'
// rectangles). Over 300 ticks, screenshots at random ticks must each equal a composed frame, also
// after a window was mapped over the scene and removed (an expose). From the first tick on the
// background's seam crosses the window (the offset wraps at once), and the sprites leave and
// come back over the edges as they drift. The saver's own full-screen window, a hack in another
// program's window and a hack on the root window each go through the server's picture.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/saver_machine.h"
#include "tests/support/x_server.h"
// Xlib comes last.
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/scene_shots.h"

namespace fs = std::filesystem;

namespace {

using namespace plenova::e2e;

constexpr long long kTicks = 300;
constexpr int kShots = 8;

// The part of the screen that a window covers, as a shot of the window's own size (pixels
// outside the screen are left 0 and not compared).
struct Placed {
    WindowShot shot;
    int left = 0, top = 0;
};

bool PlacedShowsFrame(const Placed& p, const ComposedFrame& f) {
    for (int y = 0; y < p.shot.height; ++y) {
        for (int x = 0; x < p.shot.width; ++x) {
            const int fx = x - p.left, fy = y - p.top;
            if (fx < 0 || fy < 0 || fx >= static_cast<int>(f.width) ||
                fy >= static_cast<int>(f.height)) {
                return false;
            }
            const std::uint8_t index = f.indexes[static_cast<std::size_t>(fy) * f.width + fx];
            if ((f.colours[index] & 0xFFFFFFu) != p.shot.At(x, y)) return false;
        }
    }
    return true;
}

// The number of the composed frame that the shot shows. `before` and `after` are the newest
// frames dumped just before and just after the shot: reading a large shot takes a while on a
// busy machine, so the frame it caught may lie well before the newest one after it.
std::optional<std::uint64_t> PlacedFrameShown(const Placed& p, const fs::path& folder,
                                              long long before, long long after) {
    if (!WaitUntil([&] { return NewestComposedFrame(folder) >= after + 2; }, 10s)) {
        return std::nullopt;
    }
    // Read first, compare after: the saver prunes old frames while a slow comparison runs.
    std::vector<ComposedFrame> candidates;
    for (long long n = before - 2; n <= after + 2; ++n) {
        auto frame = ReadComposedFrame(folder / ("frame-" + std::to_string(n) + ".plfr"));
        if (frame) candidates.push_back(std::move(*frame));
    }
    for (const ComposedFrame& frame : candidates) {
        if (PlacedShowsFrame(p, frame)) return frame.frame;
    }
    return std::nullopt;
}

class PresentE2E : public ::testing::Test {
protected:
    ~PresentE2E() override {
        for (pid_t pid : started_) Kill(pid);
    }

    pid_t Start(const std::vector<std::string>& args) {
        std::vector<std::string> argv{PLENOVA_SAVER_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = machine_.Environment();
        env.push_back("PLENOVA_FRAME_DUMP=" + frames_.string());
        const pid_t pid = Spawn(argv, env);
        EXPECT_GT(pid, 0);
        started_.push_back(pid);
        return pid;
    }

    // A window of another program over the scene for a few frames, then gone.
    void CoverAndUncover(int x, int y) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = 0xFF00FF;
        const Window cover = XCreateWindow(display, DefaultRootWindow(display), x, y, 300, 200, 0,
                                           CopyFromParent, InputOutput, CopyFromParent,
                                           CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(display, cover);
        XSync(display, False);
        const long long mapped = NewestComposedFrame(frames_);
        ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames_) >= mapped + 10; }, 10s));
        XDestroyWindow(display, cover);
        XSync(display, False);
        const long long gone = NewestComposedFrame(frames_);
        ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames_) >= gone + 3; }, 10s));
    }

    // Shots at random ticks over the run, each of which must be one composed frame; an expose
    // comes before the shots of the second half.
    void ExpectShotsAreFrames(const std::function<Placed()>& shoot, int coverX, int coverY) {
        ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames_) >= 3; }, 15s))
            << "no frames shown";
        const long long start = NewestComposedFrame(frames_);
        const unsigned seed = std::random_device{}();
        std::mt19937 random(seed);
        std::vector<long long> at;
        for (int i = 0; i < kShots; ++i) {
            at.push_back(start + 5 + static_cast<long long>(random() % (kTicks - 10)));
        }
        std::sort(at.begin(), at.end());
        bool covered = false;
        for (int i = 0; i < kShots; ++i) {
            if (!covered && i == kShots / 2) {
                ASSERT_NO_FATAL_FAILURE(CoverAndUncover(coverX, coverY));
                covered = true;
            }
            ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames_) >= at[i]; }, 20s));
            const long long before = NewestComposedFrame(frames_);
            const Placed shot = shoot();
            const long long newest = NewestComposedFrame(frames_);
            const std::optional<std::uint64_t> shown =
                PlacedFrameShown(shot, frames_, before, newest);
            ASSERT_TRUE(shown.has_value())
                << "shot " << i << " between frames " << before << " and " << newest << " (seed "
                << seed << ")" << (covered ? ", after the expose" : "")
                << " shows no composed frame";
        }
        ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames_) >= start + kTicks; }, 20s));
    }

    SaverMachine machine_;
    fs::path frames_ = machine_.Root() / "frames";
    std::vector<pid_t> started_;
};

TEST_F(PresentE2E, FullScreenSaverShowsExactlyTheComposedFrames) {
    fs::create_directories(frames_);
    Start({"/s"});
    const auto window = WaitForWindow("PlenovaSaver", 15s);
    ASSERT_TRUE(window.has_value()) << "no saver window";
    ASSERT_NO_FATAL_FAILURE(ExpectShotsAreFrames(
        [&] {
            const Rect client = RootGeometry(*window);
            return Placed{ShootScreen(), client.x, client.y};
        },
        800, 400));
}

TEST_F(PresentE2E, HackInAWindowOfOddSizeShowsExactlyTheComposedFrames) {
    fs::create_directories(frames_);
    const int width = 1001, height = 777;
    const Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 40, 30, width,
                                            height, 0, 0, 0xFF00FF);
    XMapWindow(display, host);
    XSync(display, False);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", host);
    Start({"--window-id", id});
    ASSERT_NO_FATAL_FAILURE(ExpectShotsAreFrames(
        [&] {
            Placed p{ShootWindow(host), 0, 0};
            EXPECT_EQ(p.shot.width, width);
            return p;
        },
        600, 500));
    XDestroyWindow(display, host);
    XSync(display, False);
}

TEST_F(PresentE2E, HackOnTheRootWindowShowsExactlyTheComposedFrames) {
    fs::create_directories(frames_);
    Start({"--root"});
    ASSERT_NO_FATAL_FAILURE(ExpectShotsAreFrames(
        [&] {
            return Placed{ShootScreen(), 0, 0};
        },
        500, 300));
}

}  // namespace

int main(int argc, char** argv) { return RunTestsOnOwnXServer(argc, argv, "1920x1080x24"); }
