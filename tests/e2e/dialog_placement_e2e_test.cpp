// The dialogs of the real PlenovaSaver.scr under a real window manager (openbox on an Xvfb of
// the program's own): each is centred on the screen by its outer frame, title bar and borders
// included, which the window manager only gives it once it is shown.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/saver_machine.h"
#include "tests/support/x_server.h"
// Xlib comes last.
#include "tests/e2e/e2e_support.h"

namespace {

using namespace plenova::e2e;

struct Centring {
    Rect outer;
    int expectedX = 0, expectedY = 0;
    bool Centred() const {
        return std::abs(outer.x - expectedX) <= 1 && std::abs(outer.y - expectedY) <= 1;
    }
};

Centring MeasureCentring(Window window) {
    Centring c;
    XSync(display, False);
    c.outer = OuterGeometry(window);
    const Screen* screen = DefaultScreenOfDisplay(display);
    c.expectedX = (WidthOfScreen(screen) - c.outer.width) / 2;
    c.expectedY = (HeightOfScreen(screen) - c.outer.height) / 2;
    return c;
}

// The window is framed by the window manager and, within a few seconds of appearing, its frame
// is centred on the screen within a pixel.
void ExpectCentredByItsFrame(Window window, const char* what) {
    ASSERT_TRUE(WaitUntil([&] { return FrameExtents(window).has_value(); }, 5s))
        << what << ": the window manager never framed it";
    const std::vector<long> extents = *FrameExtents(window);
    const Rect client = RootGeometry(window);
    Centring c;
    const bool centred = WaitUntil(
        [&] {
            c = MeasureCentring(window);
            return c.Centred();
        },
        5s);
    EXPECT_TRUE(centred) << what << ": frame at (" << c.outer.x << ", " << c.outer.y << ") size "
                         << c.outer.width << " x " << c.outer.height << ", centred would be ("
                         << c.expectedX << ", " << c.expectedY << ")";
    // The frame really is larger than the client area, by the extents the manager announced.
    EXPECT_EQ(c.outer.width, client.width + extents[0] + extents[1]) << what;
    EXPECT_EQ(c.outer.height, client.height + extents[2] + extents[3]) << what;
    EXPECT_GT(extents[2], 0) << what << ": no title bar";
    std::printf("    %s: frame %d x %d at (%d, %d), client %d x %d\n", what, c.outer.width,
                c.outer.height, c.outer.x, c.outer.y, client.width, client.height);
}

class DialogPlacementE2E : public ::testing::Test {
protected:
    ~DialogPlacementE2E() override {
        for (pid_t pid : started_) Kill(pid);
    }

    pid_t StartSaver(const std::vector<std::string>& args) {
        std::vector<std::string> argv{PLENOVA_SAVER_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = Spawn(argv, machine_.Environment());
        EXPECT_GT(pid, 0);
        started_.push_back(pid);
        return pid;
    }

    SaverMachine machine_;
    std::vector<pid_t> started_;
};

TEST_F(DialogPlacementE2E, SettingsDialogAndPasswordChangeAreCentredByTheirFrames) {
    StartSaver({"/c"});
    const auto dialog = WaitForWindow("Plenova Saver Setting", 15s);
    ASSERT_TRUE(dialog.has_value()) << "no settings dialog";
    ASSERT_NO_FATAL_FAILURE(ExpectCentredByItsFrame(*dialog, "settings dialog"));

    // The password change button (960, 3720 twips: 64, 248 pixels; 129 x 33) opens the change
    // dialog over the settings dialog.
    const Rect client = RootGeometry(*dialog);
    ASSERT_NO_FATAL_FAILURE(Xdotool({"mousemove", std::to_string(client.x + 128),
                                     std::to_string(client.y + 264), "click", "1"}));
    const auto change = WaitForWindow("PlenovaSaverのパスワード変更", 15s);
    ASSERT_TRUE(change.has_value()) << "no password change dialog";
    ExpectCentredByItsFrame(*change, "password change dialog");
}

TEST_F(DialogPlacementE2E, PasswordPromptIsCentredByItsFrame) {
    SaverMachine::Write("User", "Usepassword", "1");
    SaverMachine::Write("User", "Pass", "abc");
    ASSERT_NO_FATAL_FAILURE(Xdotool({"mousemove", "100", "100"}));
    StartSaver({"/s"});
    ASSERT_TRUE(WaitForWindow("PlenovaSaver", 15s).has_value()) << "no saver window";
    // The saver's movement checks have started once it queries its music.
    ASSERT_TRUE(WaitUntil([&] { return machine_.MciLog().size() >= 3; }, 15s));
    // A movement beyond the sensitivity asks for the password.
    ASSERT_NO_FATAL_FAILURE(Xdotool({"mousemove", "400", "300"}));
    const auto prompt = WaitForWindow("パスワード", 15s);
    ASSERT_TRUE(prompt.has_value()) << "no password prompt";
    ExpectCentredByItsFrame(*prompt, "password prompt");
}

}  // namespace

int main(int argc, char** argv) {
    return RunTestsOnOwnXServer(argc, argv, "1920x1080x24", /*windowManager=*/true);
}
