// End-to-end tests of the real program PlenovaSaver.scr on an X server of their own (Xvfb,
// without a window manager): real windows, real key presses, clicks and pointer moves
// (xdotool), real pixels.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/saver_machine.h"
#include "tests/support/x_server.h"
// Xlib comes last.
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/scene_shots.h"
#include <X11/extensions/Xfixes.h>

namespace fs = std::filesystem;

namespace {

using namespace plenova::e2e;

// True when the pointer, where it is now, is drawn with no visible pixel.
bool CursorIsBlank() {
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (image == nullptr) return false;
    bool blank = true;
    for (int i = 0; i < image->width * image->height; ++i)
        if ((image->pixels[i] >> 24) != 0) blank = false;
    XFree(image);
    return blank;
}

// Collects the MapNotify events of top-level windows from now on.
class MapWatch {
public:
    MapWatch() {
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        XSync(display, False);
        Drain();
        maps_ = 0;
    }
    ~MapWatch() { XSelectInput(display, DefaultRootWindow(display), NoEventMask); }
    int Maps() {
        XSync(display, False);
        Drain();
        return maps_;
    }

private:
    void Drain() {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify) ++maps_;
        }
    }
    int maps_ = 0;
};

// ----- fixture -----

class SaverE2E : public ::testing::Test {
protected:
    SaverE2E() {
        // Every test starts with the pointer in the middle of the screen.
        Xdotool({"mousemove", "512", "384"});
    }
    ~SaverE2E() override {
        for (pid_t pid : started_) Kill(pid);
    }

    static void Write(const char* section, const char* key, const std::string& value) {
        SaverMachine::Write(section, key, value);
    }
    static std::string Read(const char* section, const char* key) {
        return SaverMachine::Read(section, key);
    }

    pid_t StartSaver(const std::vector<std::string>& args) {
        std::vector<std::string> argv{PLENOVA_SAVER_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> env = machine_.Environment();
        env.insert(env.end(), extraEnv_.begin(), extraEnv_.end());
        const pid_t pid = Spawn(argv, env);
        EXPECT_GT(pid, 0);
        started_.push_back(pid);
        return pid;
    }
    // Starts "/s" and waits until its window is on the screen and its checks run.
    pid_t StartSaverWindow(Window* window = nullptr) {
        const pid_t pid = StartSaver({"/s"});
        const auto found = WaitForWindow("PlenovaSaver", 15s);
        EXPECT_TRUE(found.has_value()) << "no saver window";
        if (window != nullptr && found) *window = *found;
        // A few movement checks with the still pointer.
        EXPECT_TRUE(WaitForMovementChecks(3)) << "the movement checks do not run";
        return pid;
    }
    void Forget(pid_t pid) { std::erase(started_, pid); }

    // Each movement check also asks for the music's state, a line of the command log: waits
    // until `count` further checks have run.
    bool WaitForMovementChecks(std::size_t count) {
        const std::size_t before = StatusQueries();
        return WaitUntil([&] { return StatusQueries() >= before + count; }, 10s, 5ms);
    }
    std::size_t StatusQueries() {
        std::size_t queries = 0;
        for (const std::string& line : MciLog())
            queries += line.rfind("send\t", 0) == 0 && line.find("status ") != std::string::npos;
        return queries;
    }

    // Sends the input and measures until the end of the process, which must end with code 0
    // within `limitMs` of the input. The input event reaches the server while xdotool runs, so
    // the time is taken from xdotool's start: an upper bound that includes xdotool's own
    // start-up.
    void ExpectEndsAfter(pid_t pid, const std::vector<std::string>& input, double limitMs) {
        const auto sent = Clock::now();
        ASSERT_NO_FATAL_FAILURE(Xdotool(input));
        const double xdotoolMs = MillisecondsSince(sent);
        const auto status = WaitExit(pid, 5s);
        const double elapsed = MillisecondsSince(sent);
        ASSERT_TRUE(status.has_value()) << "the saver did not end";
        Forget(pid);
        EXPECT_EQ(*status, 0);
        EXPECT_LT(elapsed, limitMs) << "ended " << elapsed << " ms after the input";
        std::printf("    ended within %.1f ms of \"xdotool", elapsed);
        for (const std::string& a : input) std::printf(" %s", a.c_str());
        std::printf("\" (xdotool itself ran %.1f ms)\n", xdotoolMs);
    }

    std::vector<std::string> MciLog() { return machine_.MciLog(); }

    SaverMachine machine_;
    const fs::path root_ = machine_.Root();
    std::vector<pid_t> started_;
    std::vector<std::string> extraEnv_;  // further environment of the saver
};

// The music was stopped and closed at the end of the run. A movement check that the unload's
// pending events let run afterwards may still ask for the closed device's status (silently, and
// refused); nothing else follows the close.
void ExpectStoppedAtTheEnd(const std::vector<std::string>& log) {
    std::size_t stop = log.size();
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i] == "execute\t0\tstop bgm") stop = i;
    ASSERT_LT(stop + 1, log.size()) << "the music was never stopped";
    EXPECT_EQ(log[stop + 1], "execute\t0\tclose bgm");
    for (std::size_t i = stop + 2; i < log.size(); ++i)
        EXPECT_EQ(log[i].substr(0, 5), "send\t") << log[i];
}

// ----- saver mode -----

TEST_F(SaverE2E, SaverCoversTheScreenWithAnInvisiblePointerAndAKeyEndsIt) {
    EXPECT_FALSE(CursorIsBlank());  // the desktop's own pointer
    Window window = 0;
    const pid_t pid = StartSaverWindow(&window);
    const Rect r = RootGeometry(window);
    const Screen* screen = DefaultScreenOfDisplay(display);
    EXPECT_LE(r.x, 0);
    EXPECT_LE(r.y, 0);
    EXPECT_GE(r.x + r.width, WidthOfScreen(screen));
    EXPECT_GE(r.y + r.height, HeightOfScreen(screen));
    EXPECT_LT(r.x, 0);  // beyond the edges, not just touching them
    EXPECT_LT(r.y, 0);
    EXPECT_TRUE(CursorIsBlank());
    ExpectEndsAfter(pid, {"key", "--delay", "0", "a"}, 100);
    // The music was started, looped and stopped by the unload.
    const std::vector<std::string> log = MciLog();
    ASSERT_GE(log.size(), 4u);
    EXPECT_NE(log.front().find("open "), std::string::npos);
    EXPECT_NE(log.front().find("SCR.wav alias bgm"), std::string::npos);
    ExpectStoppedAtTheEnd(log);
}

TEST_F(SaverE2E, ClickEndsTheSaver) {
    const pid_t pid = StartSaverWindow();
    ExpectEndsAfter(pid, {"click", "--delay", "0", "1"}, 100);
}

TEST_F(SaverE2E, MovementBeyondTheSensitivityEndsTheSaver) {
    Write("Set", "Mouse", "3");
    const pid_t pid = StartSaverWindow();
    // Three pixels in one check are within the sensitivity.
    ASSERT_NO_FATAL_FAILURE(Xdotool({"mousemove", "515", "387"}));
    EXPECT_TRUE(WaitForMovementChecks(5));
    EXPECT_FALSE(WaitExit(pid, 0ms).has_value()) << "ended by a movement within the sensitivity";
    ExpectEndsAfter(pid, {"mousemove", "525", "387"}, 100);
}

TEST_F(SaverE2E, SecondStartEndsAtOnceInEveryMode) {
    const pid_t first = StartSaverWindow();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"/s"}, {"/p", "1234"}, {"/c"}, {"/S"}}) {
        MapWatch maps;
        const pid_t second = StartSaver(args);
        const auto status = WaitExit(second, 5s);
        ASSERT_TRUE(status.has_value()) << args[0] << " did not end";
        Forget(second);
        EXPECT_EQ(*status, 0);
        EXPECT_EQ(maps.Maps(), 0) << args[0] << " showed a window";
    }
    EXPECT_FALSE(WaitExit(first, 10ms).has_value());  // the first copy runs on
    ExpectEndsAfter(first, {"key", "--delay", "0", "space"}, 100);
}

TEST_F(SaverE2E, WithAPasswordAKeyShowsThePromptAndTheRightPasswordEnds) {
    Write("User", "Usepassword", "1");
    Write("User", "Pass", "abc");
    const pid_t pid = StartSaverWindow();
    ASSERT_NO_FATAL_FAILURE(Xdotool({"key", "x"}));
    const auto prompt = WaitForWindow("パスワード", 5s);
    ASSERT_TRUE(prompt.has_value()) << "no password prompt";
    EXPECT_TRUE(WaitForMovementChecks(3));
    EXPECT_FALSE(WaitExit(pid, 0ms).has_value());
    EXPECT_FALSE(CursorIsBlank());  // the pointer shows while the prompt asks
    // A wrong password first: refused with a message box, the saver runs on.
    ASSERT_NO_FATAL_FAILURE(Xdotool({"type", "--delay", "20", "abd"}));
    ASSERT_NO_FATAL_FAILURE(Xdotool({"key", "Return"}));
    // The message box has the program's title, like the saver window: two windows by that name.
    WaitUntil([] { return ViewableWindows("PlenovaSaver").size() >= 2; }, 5s);
    EXPECT_EQ(ViewableWindows("PlenovaSaver").size(), 2u) << "no message box";
    EXPECT_FALSE(WaitExit(pid, 10ms).has_value());
    ASSERT_NO_FATAL_FAILURE(Xdotool({"key", "Return"}));  // dismisses the message box
    // The box is gone; the prompt, under the pointer, takes the keys again.
    EXPECT_TRUE(WaitUntil([] { return ViewableWindows("PlenovaSaver").size() == 1; }, 5s));
    ASSERT_NO_FATAL_FAILURE(Xdotool({"type", "--delay", "20", "abc"}));
    ExpectEndsAfter(pid, {"key", "Return"}, 1000);
    const std::vector<std::string> log = MciLog();
    ExpectStoppedAtTheEnd(log);  // the prompt stopped the music
}

// ----- the scene -----

// True when every screen pixel shows the frame's pixel under it; the window's client area
// starts at (left, top) on the screen.
bool ShowsFrame(const WindowShot& shot, const ComposedFrame& f, int left, int top) {
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const int fx = x - left, fy = y - top;
            if (fx < 0 || fy < 0 || fx >= static_cast<int>(f.width) ||
                fy >= static_cast<int>(f.height)) {
                return false;
            }
            const std::uint8_t index = f.indexes[static_cast<std::size_t>(fy) * f.width + fx];
            if ((f.colours[index] & 0xFFFFFFu) != shot.At(x, y)) return false;
        }
    }
    return true;
}

TEST_F(SaverE2E, SceneMovesAndTheScreenShowsExactlyTheFramesTheSaverComposed) {
    const fs::path frames = root_ / "frames";
    fs::create_directories(frames);
    extraEnv_.push_back("PLENOVA_FRAME_DUMP=" + frames.string());
    Window window = 0;
    const pid_t pid = StartSaverWindow(&window);
    const Rect client = RootGeometry(window);
    // Screenshots while the scene runs, ten frames apart (about 200 ms of its 20 ms clock).
    ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames) >= 3; }, 10s))
        << "no frames shown";
    const WindowShot first = ShootScreen();
    const long long firstNewest = NewestComposedFrame(frames);
    ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames) >= firstNewest + 10; }, 10s));
    const WindowShot second = ShootScreen();
    ASSERT_FALSE(first.pixels.empty());

    // The background scrolls a pixel per tick and the sprites drift: most of the screen changed.
    std::size_t changed = 0;
    for (std::size_t i = 0; i < first.pixels.size(); ++i) {
        changed += first.pixels[i] != second.pixels[i];
    }
    EXPECT_GT(changed, first.pixels.size() / 4) << changed << " pixels changed";

    // Each screenshot is one whole frame that the saver composed (never a mix of two): find it
    // among the frames the saver kept.
    // The frame on the screen is written once shown: wait for the one after it.
    const long long secondNewest = NewestComposedFrame(frames);
    ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames) >= secondNewest + 2; }, 10s));
    std::optional<ComposedFrame> shownFirst, shownSecond;
    int frameFiles = 0;
    for (const auto& entry : fs::directory_iterator(frames)) {
        if (entry.path().extension() != ".plfr") continue;
        const auto frame = ReadComposedFrame(entry.path());
        if (!frame) continue;  // replaced while read
        ++frameFiles;
        EXPECT_EQ(frame->width, static_cast<std::uint32_t>(client.width));
        EXPECT_EQ(frame->height, static_cast<std::uint32_t>(client.height));
        if (!shownFirst && ShowsFrame(first, *frame, client.x, client.y)) shownFirst = frame;
        if (!shownSecond && ShowsFrame(second, *frame, client.x, client.y)) shownSecond = frame;
    }
    EXPECT_GT(frameFiles, 0);
    ASSERT_TRUE(shownFirst.has_value()) << "the first screenshot matches no composed frame";
    ASSERT_TRUE(shownSecond.has_value()) << "the second screenshot matches no composed frame";
    // Ten frames or more of a 20 ms clock lie between them.
    const auto ticks =
        static_cast<long long>(shownSecond->tick) - static_cast<long long>(shownFirst->tick);
    EXPECT_GE(ticks, 5);
    EXPECT_LE(ticks, 30);
    std::printf("    screenshots ten frames apart show frames %llu (tick %llu) and %llu (tick %llu)\n",
                static_cast<unsigned long long>(shownFirst->frame),
                static_cast<unsigned long long>(shownFirst->tick),
                static_cast<unsigned long long>(shownSecond->frame),
                static_cast<unsigned long long>(shownSecond->tick));
    ExpectEndsAfter(pid, {"key", "--delay", "0", "a"}, 200);
}

// ----- settings mode -----

TEST_F(SaverE2E, SettingsDialogWritesBothSettingsWhenClosed) {
    const pid_t pid = StartSaver({"/c"});
    const auto dialog = WaitForWindow("Plenova Saver Setting", 15s);
    ASSERT_TRUE(dialog.has_value()) << "no settings dialog";
    ASSERT_TRUE(WaitUntil([&] { return FocusWindow() == *dialog; }, 5s)) << "never focused";
    EXPECT_EQ(Read("Set", "Mouse"), "<missing>");
    EXPECT_EQ(Read("User", "Usepassword"), "<missing>");
    // The window manager's close request.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = *dialog;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, *dialog, False, NoEventMask, &close);
    XFlush(display);
    const auto status = WaitExit(pid, 5s);
    ASSERT_TRUE(status.has_value()) << "the settings dialog did not end the program";
    Forget(pid);
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(Read("Set", "Mouse"), "1");
    EXPECT_EQ(Read("User", "Usepassword"), "0");
}

TEST_F(SaverE2E, SettingsDialogClosedByItsButtonKeysWritesTheChangedValues) {
    Write("Set", "Mouse", "4");
    const pid_t pid = StartSaver({"/c"});
    const auto dialog = WaitForWindow("Plenova Saver Setting", 15s);
    ASSERT_TRUE(dialog.has_value());
    ASSERT_TRUE(WaitUntil([&] { return FocusWindow() == *dialog; }, 5s)) << "never focused";
    // Click the up button, then leave by Alt+X (the close button's access key).
    const Rect r = RootGeometry(*dialog);
    ASSERT_NO_FATAL_FAILURE(Xdotool({"mousemove", std::to_string(r.x + 360),
                                     std::to_string(r.y + 176), "click", "1"}));
    // The click reaches the program before the keys: X delivers a client's events in order.
    ASSERT_NO_FATAL_FAILURE(Xdotool({"key", "alt+x"}));
    const auto status = WaitExit(pid, 5s);
    ASSERT_TRUE(status.has_value());
    Forget(pid);
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(Read("Set", "Mouse"), "5");
    EXPECT_EQ(Read("User", "Usepassword"), "0");
}

// ----- preview mode -----

TEST_F(SaverE2E, PreviewDrawsInsideTheHostWindowAndEndsWithIt) {
    const int screen = DefaultScreen(display);
    const unsigned long white = WhitePixel(display, screen);
    const Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 200, 150, 152,
                                            112, 0, white, white);
    XMapWindow(display, host);
    XSync(display, False);
    const pid_t pid = StartSaver({"/p", std::to_string(host)});

    // The preview becomes the host's child and fills it.
    std::optional<Rect> child;
    WaitUntil(
        [&] {
            for (Window w : Children(host)) {
                XWindowAttributes a{};
                if (XGetWindowAttributes(display, w, &a) && a.map_state == IsViewable)
                    child = Rect{a.x, a.y, a.width, a.height};
            }
            return child.has_value();
        },
        15s, 20ms);
    ASSERT_TRUE(child.has_value()) << "the preview never appeared in the host window";
    EXPECT_EQ(child->x, 0);
    EXPECT_EQ(child->y, 0);
    EXPECT_EQ(child->width, 152);
    EXPECT_EQ(child->height, 112);

    // Its picture is on the screen, inside the host window: most pixels are no longer white.
    int drawn = 0;
    WaitUntil(
        [&] {
            XImage* image = XGetImage(display, host, 0, 0, 152, 112, AllPlanes, ZPixmap);
            if (image == nullptr) return false;
            drawn = 0;
            for (int y = 0; y < 112; ++y)
                for (int x = 0; x < 152; ++x)
                    if (XGetPixel(image, x, y) != white) ++drawn;
            XDestroyImage(image);
            return drawn > 152 * 112 / 2;
        },
        5s, 20ms);
    EXPECT_GT(drawn, 152 * 112 / 2) << "the host window shows no preview";
    EXPECT_FALSE(WaitExit(pid, 10ms).has_value());

    // The host goes away: the program ends.
    XDestroyWindow(display, host);
    XSync(display, False);
    const auto gone = Clock::now();
    const auto status = WaitExit(pid, 5s);
    ASSERT_TRUE(status.has_value()) << "the preview outlived its host window";
    Forget(pid);
    EXPECT_EQ(*status, 0);
    std::printf("    preview ended %.1f ms after its host window\n", MillisecondsSince(gone));
}

TEST_F(SaverE2E, PreviewOfAMissingHostEndsAtOnce) {
    MapWatch maps;
    const pid_t pid = StartSaver({"/p", "4194303"});
    const auto status = WaitExit(pid, 10s);
    ASSERT_TRUE(status.has_value());
    Forget(pid);
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(maps.Maps(), 0);
}

// ----- nothing to do -----

TEST_F(SaverE2E, OtherCommandLinesEndAtOnceWithoutAWindow) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"/x"}, {"-s"}, {}, {"s"}, {"/a", "1234"}}) {
        MapWatch maps;
        const auto start = Clock::now();
        const pid_t pid = StartSaver(args);
        const auto status = WaitExit(pid, 10s);
        ASSERT_TRUE(status.has_value()) << (args.empty() ? "(empty)" : args[0]) << " hangs";
        Forget(pid);
        EXPECT_EQ(*status, 0);
        EXPECT_EQ(maps.Maps(), 0) << (args.empty() ? "(empty)" : args[0]) << " showed a window";
        std::printf("    \"%s\" ended after %.1f ms\n", args.empty() ? "" : args[0].c_str(),
                    MillisecondsSince(start));
    }
}

}  // namespace

int main(int argc, char** argv) { return RunTestsOnOwnXServer(argc, argv, "1024x768x24"); }
