// Start-up (SCR.Main): switches, host handle, running-copy check, data folder, the three modes
// and the preview placement.
#include <QLabel>
#include <QTest>

#include "dialogs/frm_prev.h"
#include "dialogs/frm_setting.h"
#include "form_test_support.h"
#include "saver/form1.h"
#include "saver/scr.h"
#include "scene_files.h"

using namespace plenova;
using namespace plenova::saver;
using plenova::testing::EndsProcess;

namespace {

class StartupTest : public plenova::testing::FormTest {
protected:
    StartupTest() {
        SCR::ResetGlobals();
        // The saver mode needs its scene's pictures in the data folder.
        plenova::testing::scene::WriteSceneFiles(DataHostFolder());
        Write("App", "Dir", DataFolder());
    }
    ~StartupTest() override { SCR::ResetGlobals(); }
};

// ----- the pieces of the command line -----

TEST(StartupArguments, SwitchIsTheFirstTwoCharactersOfTheTrimmedText) {
    EXPECT_EQ(SCR::SwitchOf("/s"), "/s");
    EXPECT_EQ(SCR::SwitchOf("   /S   "), "/S");
    EXPECT_EQ(SCR::SwitchOf("/S:123"), "/S");
    EXPECT_EQ(SCR::SwitchOf("/p 1234"), "/p");
    EXPECT_EQ(SCR::SwitchOf("s"), "s");
    EXPECT_EQ(SCR::SwitchOf(""), "");
    EXPECT_EQ(SCR::SwitchOf("／ｓ"), "／ｓ");  // characters, not bytes
}

TEST(StartupArguments, HostHandleIsReadFromTheFourthCharacterOfTheUntrimmedText) {
    EXPECT_EQ(SCR::HostHandleOf("/p 1234"), 1234);
    EXPECT_EQ(SCR::HostHandleOf("/p:1234"), 1234);
    EXPECT_EQ(SCR::HostHandleOf("/p   1234  "), 1234);
    // Untrimmed: leading blanks move the handle's start.
    EXPECT_EQ(SCR::HostHandleOf(" /p 1234"), 1234);
    EXPECT_EQ(SCR::HostHandleOf("  /p 1234"), 0);  // from "p 1234": no number
    EXPECT_EQ(SCR::HostHandleOf("/p"), 0);
    EXPECT_EQ(SCR::HostHandleOf("/p abc"), 0);
    EXPECT_EQ(SCR::HostHandleOf("/p 12abc"), 12);
    EXPECT_EQ(SCR::HostHandleOf("/p 12.5"), 12);  // halves to even
    EXPECT_EQ(SCR::HostHandleOf("/p 13.5"), 14);
    EXPECT_EQ(SCR::HostHandleOf("/p 4294967296"), 0);  // beyond 32 bits: no window
    EXPECT_EQ(SCR::HostHandleOf("/p 2147483647"), 2147483647);
    EXPECT_EQ(SCR::HostHandleOf("/s"), 0);
}

TEST(StartupArguments, DataFolderEndsWithABackslash) {
    EXPECT_EQ(SCR::DataFolderOf(""), "\\");
    EXPECT_EQ(SCR::DataFolderOf("C:\\Plenova"), "C:\\Plenova\\");
    EXPECT_EQ(SCR::DataFolderOf("C:\\Plenova\\"), "C:\\Plenova\\");
    EXPECT_EQ(SCR::DataFolderOf("C:\\宇宙"), "C:\\宇宙\\");
}

TEST(StartupArguments, PreviewExtentInTwipsNeverWraps) {
    EXPECT_EQ(SCR::PreviewExtent(152, 15), 2280);
    EXPECT_EQ(SCR::PreviewExtent(112, 15), 1680);
    EXPECT_EQ(SCR::PreviewExtent(0, 15), 0);
    EXPECT_EQ(SCR::PreviewExtent(2184, 15), 32760);
    EXPECT_EQ(SCR::PreviewExtent(2185, 15), 32767);  // 32775 does not fit: the largest that does
    EXPECT_EQ(SCR::PreviewExtent(100000, 15), 32767);
    EXPECT_EQ(SCR::PreviewExtent(-5, 15), 0);
}

// ----- modes -----

TEST_F(StartupTest, SaverSwitchesStartTheSaver) {
    for (const char* args : {"/s", "/S", "/s   ", "  /s", "/S:123", "/s 99999999999"}) {
        SCR::ResetGlobals();
        EXPECT_FALSE(EndsProcess([&] { SCR::Main(args); })) << args;
        ASSERT_NE(SCR::form1(), nullptr) << args;
        EXPECT_TRUE(SCR::form1()->isVisible()) << args;
        EXPECT_EQ(SCR::spriteCount, 13);
        EXPECT_EQ(SCR::frmSetting(), nullptr);
        EXPECT_EQ(SCR::frmPrev(), nullptr);
        EXPECT_TRUE(SCR::AnyWindowLoaded());
    }
}

TEST_F(StartupTest, SettingsSwitchesOpenTheSettingsDialogOnly) {
    WriteDataFile("SCR.wav");
    Write("App", "Dir", DataFolder());
    for (const char* args : {"/c", "/C", "/c:1234", " /C "}) {
        SCR::ResetGlobals();
        EXPECT_FALSE(EndsProcess([&] { SCR::Main(args); })) << args;
        ASSERT_NE(SCR::frmSetting(), nullptr) << args;
        EXPECT_TRUE(SCR::frmSetting()->isVisible());
        EXPECT_EQ(SCR::form1(), nullptr);
        EXPECT_EQ(SCR::spriteCount, 0);
        EXPECT_TRUE(SCR::AnyWindowLoaded());
    }
    EXPECT_TRUE(platform::Multimedia().Records().empty());  // no music in settings mode
}

TEST_F(StartupTest, OtherSwitchesOpenNothing) {
    for (const char* args : {"/a 1234", "-s", "s", "", "   ", "/x", "/", "s/", "/a"}) {
        SCR::ResetGlobals();
        EXPECT_FALSE(EndsProcess([&] { SCR::Main(args); })) << args;
        EXPECT_FALSE(SCR::AnyWindowLoaded()) << args;
        EXPECT_EQ(SCR::form1(), nullptr);
        EXPECT_EQ(SCR::spriteCount, 0);
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(StartupTest, PreviewWithoutAReachableHostOpensNothing) {
    // The offscreen platform reaches no foreign windows: the rectangle stays all zero and the
    // preview is unloaded at once, which ends the program.
    for (const char* args : {"/p 1234", "/P:1234", "/p", "/p abc"}) {
        SCR::ResetGlobals();
        EXPECT_FALSE(EndsProcess([&] { SCR::Main(args); })) << args;
        EXPECT_EQ(SCR::previewWidth, 0);
        EXPECT_EQ(SCR::previewHeight, 0);
        ASSERT_NE(SCR::frmPrev(), nullptr);
        EXPECT_FALSE(SCR::frmPrev()->IsLoaded());
        EXPECT_FALSE(SCR::frmPrev()->isVisible());
        EXPECT_FALSE(SCR::AnyWindowLoaded());
    }
}

TEST_F(StartupTest, RunningCopyEndsEveryModeAtOnce) {
    for (const char* caption : {"PlenovaSaver", "Plenova Saver Setting"}) {
        platform::WindowPresence other = platform::WindowPresence::Register(caption);
        ASSERT_TRUE(other.IsRegistered());
        for (const char* args : {"/s", "/c", "/p 1234", "/S", "/C"}) {
            SCR::ResetGlobals();
            EXPECT_TRUE(EndsProcess([&] { SCR::Main(args); })) << caption << " " << args;
            EXPECT_FALSE(SCR::AnyWindowLoaded());
            EXPECT_EQ(SCR::form1(), nullptr);
            EXPECT_EQ(SCR::frmSetting(), nullptr);
            EXPECT_EQ(SCR::frmPrev(), nullptr);
        }
    }
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ((*processEnd_).LastExitCode(), 0);
}

TEST_F(StartupTest, OtherCaptionsDoNotCount) {
    platform::WindowPresence other = platform::WindowPresence::Register("Plenova Saver");
    EXPECT_FALSE(EndsProcess([&] { SCR::Main("/s"); }));
    EXPECT_NE(SCR::form1(), nullptr);
}

TEST_F(StartupTest, DataFolderFromTheSettingGetsItsBackslash) {
    Write("App", "Dir", "C:\\Program Files\\Plenova");
    SCR::Main("/x");
    EXPECT_EQ(SCR::appDir, "C:\\Program Files\\Plenova\\");
    SCR::ResetGlobals();
    Write("App", "Dir", "C:\\Plenova\\");
    SCR::Main("/x");
    EXPECT_EQ(SCR::appDir, "C:\\Plenova\\");
    SCR::ResetGlobals();
    platform::SettingsStore().DeleteSetting("PlenovaSaver", "App", "Dir");
    SCR::Main("");
    EXPECT_EQ(SCR::appDir, "\\");
    // Unset, with an installed copy's data: that data; a set folder still wins.
    SCR::installedDataDir = "Z:\\usr\\share\\plenova\\data";
    SCR::Main("");
    EXPECT_EQ(SCR::appDir, "Z:\\usr\\share\\plenova\\data\\");
    Write("App", "Dir", "C:\\Gone");
    SCR::Main("");
    EXPECT_EQ(SCR::appDir, "C:\\Gone\\");
    platform::SettingsStore().DeleteSetting("PlenovaSaver", "App", "Dir");
    // Start-up itself never writes it.
    EXPECT_EQ(Read("App", "Dir"), "<missing>");
}

// ----- saver mode -----

TEST_F(StartupTest, SaverWindowCoversTheScreenBeyondEveryEdge) {
    SCR::Main("/s");
    Form1& form = *SCR::form1();
    // 9600 x 7200 twips screen: 9750 x 7600 twips at (-100, -180).
    EXPECT_DOUBLE_EQ(form.Left(), -100);
    EXPECT_DOUBLE_EQ(form.Top(), -180);
    EXPECT_DOUBLE_EQ(form.Width(), 9750);
    EXPECT_DOUBLE_EQ(form.Height(), 7600);
    const QRect pixels = form.geometry();
    EXPECT_EQ(pixels, QRect(-7, -12, 650, 507));
    EXPECT_TRUE(pixels.contains(QRect(0, 0, 640, 480)));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("PlenovaSaver"));
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(platform::WindowWithCaptionExists("PlenovaSaver"));
}

TEST_F(StartupTest, SaverWindowGeometryFollowsTheScreen) {
    screen_->Set({1024, 768, 12, 12});
    SCR::Main("/s");
    Form1& form = *SCR::form1();
    EXPECT_DOUBLE_EQ(form.Width(), 1024 * 12 + 150);
    EXPECT_DOUBLE_EQ(form.Height(), 768 * 12 + 400);
    EXPECT_TRUE(form.geometry().contains(QRect(0, 0, 1024, 768)));
    EXPECT_LT(form.geometry().left(), 0);
    EXPECT_LT(form.geometry().top(), 0);
}

TEST_F(StartupTest, SaverModeHidesThePointerRecordsTheCursorAndFocusesPicIme) {
    (*cursor_).Set(321, 123);
    SCR::Main("/s");
    Form1& form = *SCR::form1();
    EXPECT_EQ(platform::GetPointerMode(form), platform::PointerMode::Hidden);
    EXPECT_EQ(SCR::lastMouseX, 321);
    EXPECT_EQ(SCR::lastMouseY, 123);
    EXPECT_EQ(SCR::cursorPos, (platform::ScreenPoint{321, 123}));
    EXPECT_EQ(form.focusWidget(), form.picIME);
    EXPECT_FALSE(form.picIME->testAttribute(Qt::WA_InputMethodEnabled));
    // The auxiliary controls lie beyond the right edge (2 x 9600 twips).
    EXPECT_EQ(form.picIME->x(), 1280);
    EXPECT_EQ(form.imgMouse->x(), 1280);
    // The clock at 20 ms, precise, and the 10 ms check both run.
    EXPECT_TRUE(form.Timer1.isActive());
    EXPECT_EQ(form.Timer1.interval(), 20);
    EXPECT_EQ(form.Timer1.timerType(), Qt::PreciseTimer);
    EXPECT_TRUE(form.Timer3.isActive());
    EXPECT_EQ(form.Timer3.interval(), 10);
}

TEST_F(StartupTest, ImgMouseIsTransparentInEveryPixel) {
    SCR::Main("/s");
    const QImage image = SCR::form1()->imgMouse->pixmap().toImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(qAlpha(image.pixel(x, y)), 0) << x << "," << y;
}

TEST_F(StartupTest, MouseToleranceComesFromTheSetting) {
    const std::pair<const char*, int> cases[] = {
        {nullptr, 1}, {"1", 1},    {"0", 0},    {"11", 11},   {"2.5", 2},     {"3.5", 4},
        {"7abc", 7},  {" 5 ", 5},  {"abc", 0},  {"-2", -2},   {"99999", 1},   {"10", 10},
    };
    for (const auto& [stored, tolerance] : cases) {
        SCR::ResetGlobals();
        if (stored != nullptr) {
            Write("Set", "Mouse", stored);
        } else {
            platform::SettingsStore().DeleteSetting("PlenovaSaver", "Set", "Mouse");
        }
        SCR::Main("/s");
        EXPECT_EQ(SCR::mouseTolerance, tolerance) << (stored ? stored : "(none)");
    }
}

// ----- preview placement -----

TEST_F(StartupTest, PlacePreviewFillsTheHostWithTheStretchedPicture) {
    SCR::previewLeft = 0;
    SCR::previewTop = 0;
    SCR::previewWidth = SCR::PreviewExtent(152, 15);
    SCR::previewHeight = SCR::PreviewExtent(112, 15);
    SCR::PlacePreview();
    dialogs::frmPrev& form = *SCR::frmPrev();
    EXPECT_EQ(form.geometry(), QRect(0, 0, 152, 112));
    EXPECT_DOUBLE_EQ(form.Width(), 2280);
    EXPECT_DOUBLE_EQ(form.Height(), 1680);
    EXPECT_EQ(form.imgPrev->geometry(), QRect(0, 0, 152, 112));
    EXPECT_EQ(form.imgPrev->pixmap().size(), QSize(310, 232));  // the whole picture, scaled
    EXPECT_TRUE(form.imgPrev->hasScaledContents());
}

TEST_F(StartupTest, PlacePreviewUsesTheScreensTwipsPerPixel) {
    screen_->Set({800, 600, 12, 20});
    SCR::previewWidth = SCR::PreviewExtent(100, 12);
    SCR::previewHeight = SCR::PreviewExtent(50, 20);
    SCR::PlacePreview();
    EXPECT_EQ(SCR::frmPrev()->imgPrev->size(), QSize(100, 50));
    EXPECT_EQ(SCR::frmPrev()->size(), QSize(100, 50));
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
