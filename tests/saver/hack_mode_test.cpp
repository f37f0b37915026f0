// Hack mode: which command lines are the hack's and what they ask for, window ids, where an
// installed copy finds its data, and the scene run for a host (input and pointer left alone, no
// running-saver announcement, the window's size, the mute switch, nothing to show refused).
#include <QTest>

#include "engine/cwingbitmap.h"
#include "form_test_support.h"
#include "platform/x11/window_ops.h"
#include "saver/form1.h"
#include "saver/hack_mode.h"
#include "saver/scr.h"
#include "saver/xscreensaver_install.h"
#include "scene_files.h"

using namespace plenova;
using namespace plenova::saver;
using plenova::platform::MciRecord;
using plenova::testing::EndsProcess;
using Kind = Hack::Parsed::Kind;
using Target = Hack::Target;

namespace {

namespace fs = std::filesystem;

// ----- command lines -----

TEST(HackArgumentsTest, CommandLinesAndWhatTheyAskFor) {
    struct Case {
        std::vector<std::string> args;
        Kind kind;
        Target target = Target::Window;
        platform::ForeignWindowHandle id = 0;
        bool mute = false;
    };
    const Case cases[] = {
        // The Windows-style switches and everything else that is not ours stay as they were.
        {{}, Kind::NotHack},
        {{"/s"}, Kind::NotHack},
        {{"/p", "1234"}, Kind::NotHack},
        {{"s"}, Kind::NotHack},
        {{"-s"}, Kind::NotHack},
        {{"", "-s", " "}, Kind::NotHack},
        {{"/s", "-root"}, Kind::NotHack},
        // Ours, with one dash or two.
        {{"-root"}, Kind::Run, Target::Root},
        {{"--root"}, Kind::Run, Target::Root},
        {{"-window"}, Kind::Run, Target::Window},
        {{"--window"}, Kind::Run, Target::Window},
        {{"-window-id", "42"}, Kind::Run, Target::WindowId, 42},
        {{"--window-id", "0x40000a"}, Kind::Run, Target::WindowId, 0x40000a},
        {{"--mute"}, Kind::Run, Target::Window, 0, true},
        {{"--root", "-mute"}, Kind::Run, Target::Root, 0, true},
        {{"-mute", "--window-id", "7"}, Kind::Run, Target::WindowId, 7, true},
        // The last target switch counts, as with the daemon's own hacks.
        {{"-root", "-window"}, Kind::Run, Target::Window},
        {{"--help"}, Kind::Help},
        {{"-h"}, Kind::Help},
        // Anything else that starts with a dash is refused.
        {{"-S"}, Kind::Usage},
        {{"-x"}, Kind::Usage},
        {{"--bogus"}, Kind::Usage},
        {{"---root"}, Kind::Usage},
        {{"-"}, Kind::Usage},
        {{"--"}, Kind::Usage},
        {{"-root", "/s"}, Kind::Usage},
        {{"-window-id"}, Kind::Usage},
        {{"-window-id", "abc"}, Kind::Usage},
        {{"-window-id", "0"}, Kind::Usage},
        {{"-window-id", "-root"}, Kind::Usage},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += "[" + a + "]";
        const Hack::Parsed parsed = Hack::ParseArguments(c.args);
        EXPECT_EQ(parsed.kind, c.kind) << line;
        if (c.kind == Kind::Usage) {
            EXPECT_FALSE(parsed.problem.empty()) << line;
        }
        if (c.kind != Kind::Run || parsed.kind != Kind::Run) continue;
        EXPECT_EQ(parsed.options.target, c.target) << line;
        EXPECT_EQ(parsed.options.windowId, c.id) << line;
        EXPECT_EQ(parsed.options.mute, c.mute) << line;
    }
}

TEST(HackArgumentsTest, WindowIdsAreWholeDecimalOrHexNumbersOfThirtyTwoBits) {
    const std::pair<const char*, platform::ForeignWindowHandle> good[] = {
        {"1", 1},
        {"0x1", 1},
        {"0XfF", 255},
        {"007", 7},
        {"4294967295", 0xFFFFFFFF},
        {"0xFFFFFFFF", 0xFFFFFFFF},
    };
    for (const auto& [text, id] : good) EXPECT_EQ(Hack::ParseWindowId(text), id) << text;
    for (const char* text :
         {"", "0", "0x0", "0x", "4294967296", "0x100000000", "99999999999999999999999", " 12",
          "12 ", "+12", "-5", "1e3", "0x1g", "12abc"}) {
        EXPECT_FALSE(Hack::ParseWindowId(text).has_value()) << text;
    }
}

TEST(HackArgumentsTest, DaemonWindowFromTheEnvironment) {
    EXPECT_EQ(Hack::ScreenSaverWindow(nullptr), 0);
    EXPECT_EQ(Hack::ScreenSaverWindow(""), 0);
    EXPECT_EQ(Hack::ScreenSaverWindow("0x400008"), 0x400008);
    EXPECT_EQ(Hack::ScreenSaverWindow("4194312"), 4194312);
    EXPECT_FALSE(Hack::ScreenSaverWindow("window").has_value());
    EXPECT_FALSE(Hack::ScreenSaverWindow("0x").has_value());
}

TEST(HackArgumentsTest, UsageNamesEverySwitch) {
    const std::string usage = Hack::UsageText("plenova");
    for (const char* name :
         {"plenova", "--root", "--window-id", "--window", "--mute", "/s", "XSCREENSAVER_WINDOW"}) {
        EXPECT_NE(usage.find(name), std::string::npos) << name;
    }
}

// ----- the installed data folder -----

class InstalledDataTest : public ::testing::Test {
protected:
    fs::path Program(const fs::path& relative) {
        const fs::path program = temp_.Path() / relative;
        fs::create_directories(program.parent_path());
        plenova::testing::WriteAll(program, "program");
        return program;
    }
    fs::path DataAt(const fs::path& relative) {
        const fs::path folder = temp_.Path() / relative;
        fs::create_directories(folder);
        plenova::testing::WriteAll(folder / "背景.bmp", "BM");
        return folder;
    }
    plenova::testing::TempFolder temp_{"plenova-hack-data"};
};

TEST_F(InstalledDataTest, HackDirectoriesFindTheSharedDataFolder) {
    for (const char* hackDir :
         {"usr/libexec/xscreensaver", "usr/lib/xscreensaver", "opt/plenova/lib/xscreensaver"}) {
        const fs::path prefix = temp_.Path() / hackDir / ".." / "..";
        const fs::path program = Program(fs::path(hackDir) / "plenova");
        const fs::path data = DataAt(fs::weakly_canonical(prefix) / "share/plenova/data");
        EXPECT_EQ(Hack::InstalledDataFolder(program), data) << hackDir;
    }
}

TEST_F(InstalledDataTest, DataBesideTheProgramAsInTheBuild) {
    const fs::path program = Program("build/dist/PlenovaSaver.scr");
    EXPECT_FALSE(Hack::InstalledDataFolder(program).has_value());
    const fs::path dist = DataAt("build/dist");
    EXPECT_EQ(Hack::InstalledDataFolder(program), dist);
    // The installed layout wins where both exist.
    const fs::path shared = DataAt("share/plenova/data");
    EXPECT_EQ(Hack::InstalledDataFolder(program), shared);
}

TEST_F(InstalledDataTest, ALinkToTheProgramIsFollowedAndAFolderWithoutTheBackgroundIsNone) {
    const fs::path program = Program("usr/libexec/xscreensaver/plenova");
    fs::create_directories(temp_.Path() / "usr/share/plenova/data");  // no background in it
    fs::create_directories(temp_.Path() / "usr/bin");
    fs::create_symlink("../libexec/xscreensaver/plenova", temp_.Path() / "usr/bin/plenova");
    EXPECT_FALSE(Hack::InstalledDataFolder(temp_.Path() / "usr/bin/plenova").has_value());
    const fs::path data = DataAt("usr/share/plenova/data");
    EXPECT_EQ(Hack::InstalledDataFolder(temp_.Path() / "usr/bin/plenova"), data);
    EXPECT_EQ(Hack::InstalledDataFolder(program), data);
}

// ----- XScreenSaver's programs list -----

TEST(XScreenSaverInstallTest, OurLineIsUpdatedInItsPlaceOrPutFirstAndTheRestIsKept) {
    namespace X = XScreenSaverInstall;
    const std::string command = "/usr/libexec/xscreensaver/plenova --root";
    // A user's file: other settings and hacks stay; an old, switched-off line of ours is
    // replaced where it was, and a second one dropped.
    const std::string user =
        "mode:\t\tone\nprograms:\t\\\n\t\tmaze --root\t\\n\\\n"
        "  - plenova -window \\n\\\n- GL: \tgears --root \\n\\\n"
        "\t/opt/plenova --mute\\n\nlock: False\n";
    const std::string updated = X::WithProgram(user, std::nullopt, command);
    EXPECT_EQ(X::ProgramEntries(updated),
              (std::vector<std::string>{"maze --root", command, "- GL: \tgears --root"}));
    EXPECT_TRUE(updated.starts_with("mode:\t\tone\n")) << updated;
    EXPECT_TRUE(updated.ends_with("\nlock: False\n")) << updated;
    EXPECT_EQ(X::WithProgram(updated, std::nullopt, command), updated);
    // A file without a list gets one; no file gets the system's list with ours first.
    EXPECT_EQ(X::ProgramEntries(X::WithProgram("mode: one", std::nullopt, command)),
              (std::vector<std::string>{command}));
    const std::string defaults = "*mode: random\n*programs:\t\\\n  maze -root \\n\n";
    const std::string made = X::WithProgram(std::nullopt, defaults, command);
    EXPECT_EQ(X::ProgramEntries(made), (std::vector<std::string>{command, "maze -root"}));
    EXPECT_EQ(X::WithProgram(made, defaults, command), made);
}

// ----- the scene for a host -----

class HackRunTest : public plenova::testing::FormTest {
protected:
    HackRunTest() {
        SCR::ResetGlobals();
        plenova::testing::scene::WriteSceneFiles(DataHostFolder());
        WriteDataFile("SCR.wav");
        Write("App", "Dir", DataFolder());
    }
    ~HackRunTest() override {
        Hack::Reset();
        SCR::ResetGlobals();
    }
    std::vector<std::string> Commands() {
        std::vector<std::string> out;
        for (const MciRecord& r : platform::Multimedia().Records()) out.push_back(r.command);
        return out;
    }
    const fs::path program_ = "/nonexistent/plenova";
};

TEST_F(HackRunTest, OwnWindowIgnoresInputKeepsThePointerAndIsNoRunningSaver) {
    ASSERT_TRUE(Hack::Run({Target::Window, 0, false}, program_));
    Form1* form = Hack::SceneWindow();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->IsLoaded());
    EXPECT_TRUE(form->Hosted());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->pos(), QPoint(0, 0));
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(platform::GetPointerMode(*form), platform::PointerMode::Default);
    // Another start of the saver is not refused because of this window.
    EXPECT_FALSE(platform::WindowWithCaptionExists("PlenovaSaver"));
    // Keys, clicks and pointer moves belong to the host.
    EXPECT_FALSE(EndsProcess([&] { QTest::keyPress(form->picIME, Qt::Key_A); }));
    EXPECT_FALSE(EndsProcess([&] { QTest::mouseClick(form, Qt::LeftButton, {}, {30, 30}); }));
    for (int i = 0; i < 5; ++i) {
        (*cursor_).Set(100 * i, 90 * i);
        EXPECT_FALSE(EndsProcess([&] { form->Timer3_Timer(); })) << i;
    }
    // The clock goes on; the unload is the one that ends the program.
    EXPECT_TRUE(form->Timer1.isActive());
    EXPECT_TRUE(EndsProcess([&] { form->Unload(); }));
    EXPECT_EQ((*processEnd_).LastExitCode(), 0);
}

TEST_F(HackRunTest, SceneTakesTheWindowsSizeAndFollowsIt) {
    ASSERT_TRUE(Hack::Run({Target::Window, 0, false}, program_));
    Form1& form = *Hack::SceneWindow();
    const QSize first = form.size();
    EXPECT_GT(first.width(), 0);
    EXPECT_LE(first.width(), 960);
    EXPECT_LE(first.height(), 600);
    ASSERT_NE(form.canvasBitmap, nullptr);
    EXPECT_EQ(form.canvasBitmap->Width(), first.width());
    // The scene's screen is the window: sprites are placed and wrap inside it.
    EXPECT_EQ(platform::ScreenInfo().widthPixels, first.width());
    EXPECT_EQ(platform::ScreenInfo().heightPixels, first.height());
    form.resize(333, 222);
    QCoreApplication::processEvents();
    EXPECT_EQ(platform::ScreenInfo().widthPixels, 333);
    EXPECT_EQ(platform::ScreenInfo().heightPixels, 222);
    EXPECT_EQ(form.canvasBitmap->Width(), 333);
    EXPECT_EQ(std::abs(form.canvasBitmap->Height()), 222);
    // The screen of the test is back once the hack is gone.
    Hack::Reset();
    EXPECT_EQ(platform::ScreenInfo().widthPixels, 640);
}

TEST_F(HackRunTest, MuteSwitchKeepsTheMusicOffWhateverTheSettingsSay) {
    platform::WriteSetting("ZEVRA6", "Set", "Mute", "0");
    ASSERT_TRUE(Hack::Run({Target::Window, 0, true}, program_));
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(EndsProcess([&] { Hack::SceneWindow()->Unload(); }));
    Hack::Reset();
    SCR::ResetGlobals();
    platform::Multimedia().ClearRecords();
    ASSERT_TRUE(Hack::Run({Target::Window, 0, false}, program_));
    ASSERT_FALSE(Commands().empty());
    EXPECT_EQ(Commands().back(), "play bgm notify");
}

TEST_F(HackRunTest, NothingToShowIsRefusedWithoutAWindow) {
    // A window that does not exist (and none can, on this platform).
    EXPECT_FALSE(Hack::Run({Target::WindowId, 0x1234, false}, program_));
    EXPECT_EQ(Hack::SceneWindow(), nullptr);
    Hack::Reset();
    // No background in the data folder.
    fs::remove(DataHostFolder() / "背景.bmp");
    EXPECT_FALSE(Hack::Run({Target::Window, 0, false}, program_));
    EXPECT_EQ(Hack::SceneWindow(), nullptr);
    Hack::Reset();
    // No setting, and no data near the program.
    platform::SettingsStore().DeleteSetting("PlenovaSaver", "App", "Dir");
    EXPECT_FALSE(Hack::Run({Target::Window, 0, false}, program_));
    EXPECT_EQ(Hack::SceneWindow(), nullptr);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(HackRunTest, WithoutTheSettingTheDataNearTheProgramIsUsed) {
    platform::SettingsStore().DeleteSetting("PlenovaSaver", "App", "Dir");
    const fs::path dist = DataHostFolder();  // the scene files lie beside this "program"
    ASSERT_TRUE(Hack::Run({Target::Window, 0, false}, dist / "PlenovaSaver.scr"));
    EXPECT_EQ(SCR::appDir, DataFolder());
    EXPECT_NE(Hack::SceneWindow()->backgroundBitmap, nullptr);
    Hack::Reset();
    SCR::ResetGlobals();
    // A chosen folder without the background (an uninstalled copy's) gives way to it too.
    Write("App", "Dir", machine_->ToWindows(temp_.Path() / "gone"));
    ASSERT_TRUE(Hack::Run({Target::Window, 0, false}, dist / "PlenovaSaver.scr"));
    EXPECT_EQ(SCR::appDir, DataFolder());
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
