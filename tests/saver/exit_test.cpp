// The saver window's exit rules: keys, clicks and the 10 ms movement check with a scripted
// cursor, the end request with and without password, and the unload sequence.
#include <algorithm>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "base/errors.h"
#include "dialogs/frm_password.h"
#include "form_test_support.h"
#include "platform/x11/window_ops.h"
#include "saver/form1.h"
#include "saver/scr.h"
#include "scene_files.h"

using namespace plenova;
using namespace plenova::saver;
using plenova::platform::MciRecord;
using plenova::platform::PointerMode;
using plenova::testing::EndsProcess;

namespace {

class ExitTest : public plenova::testing::FormTest {
protected:
    ExitTest() {
        SCR::ResetGlobals();
        // The saver mode needs its scene's pictures in the data folder.
        plenova::testing::scene::WriteSceneFiles(DataHostFolder());
        Write("App", "Dir", DataFolder());
    }
    ~ExitTest() override { SCR::ResetGlobals(); }

    Form1& StartSaver(int x = 100, int y = 100) {
        (*cursor_).Set(x, y);
        SCR::ResetGlobals();
        SCR::Main("/s");
        return *SCR::form1();
    }
    // One movement check with the cursor at (x, y).
    bool TickAt(int x, int y) {
        (*cursor_).Set(x, y);
        return EndsProcess([&] { SCR::form1()->Timer3_Timer(); });
    }
    void PasswordMode(const std::string& pass = "pw") {
        Write("User", "Usepassword", "1");
        Write("User", "Pass", pass);
    }
    std::vector<std::string> Commands() {
        std::vector<std::string> out;
        for (const MciRecord& r : platform::Multimedia().Records())
            out.push_back((r.way == MciRecord::Way::Send ? "send " : "execute ") + r.command);
        return out;
    }
    // The commands without the looping check's status queries: the 10 ms timer is real, so a
    // slow build (sanitizers, a loaded machine) may get in extra queries before the end.
    std::vector<std::string> CommandsWithoutStatus() {
        std::vector<std::string> out;
        for (std::string& c : Commands())
            if (c != "send status bgm mode") out.push_back(std::move(c));
        return out;
    }
};

// ----- movement -----

TEST_F(ExitTest, ToleranceOneAllowsOnePixelPerCheckOnEachAxis) {
    Write("Set", "Mouse", "1");
    StartSaver(100, 100);
    // A slow drift never ends the saver, however far it goes.
    for (int i = 1; i <= 50; ++i) ASSERT_FALSE(TickAt(100 + i, 100 - i)) << i;
    EXPECT_EQ(SCR::lastMouseX, 150);
    EXPECT_EQ(SCR::lastMouseY, 50);
    EXPECT_TRUE(TickAt(152, 50));  // two pixels on one axis
}

TEST_F(ExitTest, ToleranceAppliesPerAxisNotToTheDistance) {
    Write("Set", "Mouse", "3");
    StartSaver(100, 100);
    EXPECT_FALSE(TickAt(103, 103));  // 4.2 pixels away, but 3 per axis
    EXPECT_FALSE(TickAt(100, 100));
    EXPECT_TRUE(TickAt(100, 96));  // -4 on y
}

TEST_F(ExitTest, ToleranceZeroEndsOnAnyMovementButNotOnStillness) {
    Write("Set", "Mouse", "0");
    StartSaver(10, 10);
    for (int i = 0; i < 20; ++i) ASSERT_FALSE(TickAt(10, 10));
    EXPECT_TRUE(TickAt(10, 11));
}

TEST_F(ExitTest, FirstCheckComparesWithThePositionAtStart) {
    Write("Set", "Mouse", "5");
    StartSaver(500, 400);
    EXPECT_TRUE(TickAt(506, 400));
}

// ----- keys and clicks -----

TEST_F(ExitTest, EveryKeyEndsTheSaver) {
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_A, Qt::NoModifier},       {Qt::Key_Shift, Qt::ShiftModifier},
        {Qt::Key_Escape, Qt::NoModifier},  {Qt::Key_Return, Qt::ControlModifier},
        {Qt::Key_F1, Qt::AltModifier},     {Qt::Key_Space, Qt::NoModifier},
        {Qt::Key_Tab, Qt::NoModifier},     {Qt::Key_Control, Qt::ControlModifier},
    };
    for (const auto& [key, modifiers] : keys) {
        Form1& form = StartSaver();
        // The key goes to the control that has the focus; the window sees it first.
        EXPECT_TRUE(EndsProcess([&] { QTest::keyPress(form.picIME, key, modifiers); }))
            << std::hex << key;
    }
}

TEST_F(ExitTest, KeyOnTheWindowItselfEndsTheSaver) {
    Form1& form = StartSaver();
    form.picIME->clearFocus();
    form.setFocus();
    EXPECT_TRUE(EndsProcess([&] { QTest::keyPress(&form, Qt::Key_B); }));
}

TEST_F(ExitTest, ClickEndsTheSaver) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        Form1& form = StartSaver();
        EXPECT_TRUE(EndsProcess([&] { QTest::mouseClick(&form, button, {}, QPoint(300, 200)); }));
    }
}

TEST_F(ExitTest, EndWithoutPasswordShowsThePointerAndUnloads) {
    Form1& form = StartSaver();
    EXPECT_TRUE(EndsProcess([&] { form.RequestExit(); }));
    EXPECT_EQ(platform::GetPointerMode(form), PointerMode::Default);
    EXPECT_FALSE(form.Timer1.isActive());  // the unload sequence ran
    EXPECT_EQ((*processEnd_).LastExitCode(), 0);
}

// ----- password switch -----

TEST_F(ExitTest, SwitchValuesOtherThanOneEndWithoutPrompt) {
    Write("User", "Pass", "pw");
    for (const char* value : {"0", "2", "-1", "abc", "", "1x"}) {
        Write("User", "Usepassword", value);
        Form1& form = StartSaver();
        EXPECT_TRUE(EndsProcess([&] { form.RequestExit(); })) << value;
        EXPECT_EQ(form.PasswordPrompt(), nullptr);
    }
}

TEST_F(ExitTest, SwitchOnWithAnEmptyPasswordEndsWithoutPrompt) {
    Write("User", "Usepassword", "1");
    Write("User", "Pass", "");
    EXPECT_TRUE(EndsProcess([&] { QTest::keyPress(StartSaver().picIME, Qt::Key_A); }));
    platform::SettingsStore().DeleteSetting("PlenovaSaver", "User", "Pass");
    EXPECT_TRUE(EndsProcess([&] { QTest::keyPress(StartSaver().picIME, Qt::Key_A); }));
}

TEST_F(ExitTest, PasswordModeShowsThePromptOverTheRunningSaver) {
    PasswordMode();
    Form1& form = StartSaver();
    EXPECT_FALSE(EndsProcess([&] { QTest::keyPress(form.picIME, Qt::Key_A); }));
    dialogs::frmPassword* prompt = form.PasswordPrompt();
    ASSERT_NE(prompt, nullptr);
    EXPECT_TRUE(prompt->isVisible());
    EXPECT_TRUE(prompt->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(platform::GetPointerMode(form), PointerMode::Default);
    // The saver runs on.
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Timer1.isActive());
    EXPECT_TRUE(form.Timer3.isActive());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ExitTest, FurtherRequestsKeepTheOnePromptAndItsText) {
    PasswordMode();
    Write("Set", "Mouse", "1");
    Form1& form = StartSaver(100, 100);
    form.RequestExit();
    dialogs::frmPassword* prompt = form.PasswordPrompt();
    ASSERT_NE(prompt, nullptr);
    QTest::keyClicks(prompt->txtPassword, QStringLiteral("p"));
    // A click, a key on the saver window and a movement: still the one prompt.
    EXPECT_FALSE(EndsProcess([&] { QTest::mouseClick(&form, Qt::LeftButton); }));
    EXPECT_FALSE(EndsProcess([&] { QTest::keyPress(form.picIME, Qt::Key_Z); }));
    EXPECT_FALSE(TickAt(300, 300));
    EXPECT_EQ(form.PasswordPrompt(), prompt);
    EXPECT_EQ(prompt->txtPassword->text(), QStringLiteral("p"));
    int prompts = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("frmPassword") && w->isVisible()) ++prompts;
    EXPECT_EQ(prompts, 1);
    // The movement check still recorded the new position.
    EXPECT_EQ(SCR::lastMouseX, 300);
    EXPECT_EQ(SCR::lastMouseY, 300);
}

TEST_F(ExitTest, CancellingThePromptHidesThePointerAgain) {
    PasswordMode();
    Form1& form = StartSaver();
    form.RequestExit();
    dialogs::frmPassword* prompt = form.PasswordPrompt();
    ASSERT_NE(prompt, nullptr);
    QTest::keyClicks(prompt->txtPassword, QStringLiteral("xy"));
    QTest::keyClick(prompt->txtPassword, Qt::Key_Escape);
    EXPECT_EQ(platform::GetPointerMode(form), PointerMode::Hidden);
    EXPECT_EQ(form.PasswordPrompt(), nullptr);
    EXPECT_TRUE(form.isVisible());
    // The next request shows a fresh, empty prompt.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form.RequestExit();
    ASSERT_NE(form.PasswordPrompt(), nullptr);
    EXPECT_EQ(form.PasswordPrompt()->txtPassword->text(), QString());
    EXPECT_EQ(platform::GetPointerMode(form), PointerMode::Default);
}

TEST_F(ExitTest, RightPasswordStopsTheMusicAndEndsWithoutTheUnloadSequence) {
    PasswordMode("Geheim");
    WriteDataFile("SCR.wav");
    Write("App", "Dir", DataFolder());
    Form1& form = StartSaver();
    form.RequestExit();
    dialogs::frmPassword* prompt = form.PasswordPrompt();
    ASSERT_NE(prompt, nullptr);
    QTest::keyClicks(prompt->txtPassword, QStringLiteral("Geheim"));
    platform::Multimedia().ClearRecords();
    EXPECT_TRUE(EndsProcess([&] { QTest::keyClick(prompt->txtPassword, Qt::Key_Return); }));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"execute stop bgm", "execute close bgm"}));
    EXPECT_EQ(platform::GetPointerMode(form), PointerMode::Default);
    EXPECT_TRUE(form.Timer1.isActive());  // no unload handling ran
}

TEST_F(ExitTest, WrongPasswordKeepsTheSaverRunning) {
    PasswordMode("Geheim");
    Form1& form = StartSaver();
    form.RequestExit();
    dialogs::frmPassword* prompt = form.PasswordPrompt();
    ASSERT_NE(prompt, nullptr);
    QTest::keyClicks(prompt->txtPassword, QStringLiteral("geheim"));
    EXPECT_FALSE(EndsProcess([&] { QTest::mouseClick(prompt->cmdOK, Qt::LeftButton); }));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(platform::GetPointerMode(form), PointerMode::Hidden);
    EXPECT_TRUE(form.Timer1.isActive());
}

TEST_F(ExitTest, PasswordSwitchIsReadAtEveryRequest) {
    Form1& form = StartSaver();
    PasswordMode();  // switched on after the saver started
    EXPECT_FALSE(EndsProcess([&] { form.RequestExit(); }));
    ASSERT_NE(form.PasswordPrompt(), nullptr);
    Write("User", "Usepassword", "0");
    EXPECT_TRUE(EndsProcess([&] { form.RequestExit(); }));
}

// ----- unload sequence -----

TEST_F(ExitTest, UnloadStopsClockAndMusicAndEnds) {
    WriteDataFile("SCR.wav");
    Write("App", "Dir", DataFolder());
    Form1& form = StartSaver();
    EXPECT_FALSE(TickAt(100, 100));
    const std::string folder = DataFolder();
    EXPECT_TRUE(EndsProcess([&] { QTest::keyPress(form.picIME, Qt::Key_Q); }));
    EXPECT_EQ(CommandsWithoutStatus(),
              (std::vector<std::string>{"send open " + folder + "SCR.wav alias bgm",
                                        "send play bgm notify", "execute stop bgm",
                                        "execute close bgm"}));
    // The check that ran before the key asked for the music's state. (A check that the unload's
    // event step lets in after the close only asks a closed device, silently.)
    const std::vector<std::string> all = Commands();
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(all[2], "send status bgm mode");
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_TRUE((*audio_).Last()->closed);
}

TEST_F(ExitTest, UnloadGoesOnPastAFailingStep) {
    WriteDataFile("SCR.wav");
    Write("App", "Dir", DataFolder());
    Form1& form = StartSaver();
    // Stopping the music fails with a run-time error: the rest of the sequence still runs and
    // the process still ends.
    platform::Multimedia().SetObserver([](const MciRecord& record) {
        if (record.command == "stop bgm") throw plenova::OverflowError();
    });
    platform::Multimedia().ClearRecords();
    EXPECT_TRUE(EndsProcess([&] { form.Unload(); }));
    platform::Multimedia().SetObserver({});
    // The failed stop abandons the rest of the music step, so the device is never closed. The
    // looping check may still run during the unload's event step and restart the music it
    // finds stopped; that is its own business, not the unload's.
    const std::vector<std::string> commands = CommandsWithoutStatus();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "execute stop bgm");
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "execute close bgm"), 0);
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_EQ((*processEnd_).Calls(), 1);
}

TEST_F(ExitTest, ClosingTheWindowRunsTheUnloadSequence) {
    Form1& form = StartSaver();
    QCloseEvent close;
    EXPECT_TRUE(EndsProcess([&] { QCoreApplication::sendEvent(&form, &close); }));
    EXPECT_FALSE(form.Timer1.isActive());
}

TEST_F(ExitTest, AnEndRequestDuringTheUnloadDoesNotStartItAgain) {
    Form1& form = StartSaver();
    // While the unload lets pending events run, a queued click requests the end again.
    QTimer::singleShot(0, &form, [&form] { form.RequestExit(); });
    EXPECT_TRUE(EndsProcess([&] { form.Unload(); }));
    EXPECT_EQ((*processEnd_).Calls(), 1);
}

// ----- clock -----

TEST_F(ExitTest, EndRequestFromInsideAClockTickEndsTheProcess) {
    Form1& form = StartSaver();
    QTimer::singleShot(0, &form, [&form] { form.Form_Click(); });
    EXPECT_TRUE(EndsProcess([&] { form.Timer1_Timer(); }));
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
