#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QCursor>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/cursor.h"
#include "platform/desktop_services.h"
#include "platform/machine.h"
#include "platform/multimedia.h"
#include "platform/events.h"
#include "platform/process_end.h"
#include "platform/qt/qt_cursor.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_screen.h"
#include "platform/screen.h"
#include "platform/x11/window_ops.h"
#include "platform/window_presence.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

using namespace plenova::platform;
using plenova::testing::ReadToEnd;
using plenova::testing::Start;
using plenova::testing::Started;
using plenova::testing::TempFolder;
using plenova::testing::WaitForExit;

namespace {

// ----- child processes: this test program started again in a special mode -----

std::string SelfPath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

// Starts this test program again in a child mode, its standard output on a pipe.
Started Spawn(std::vector<std::string> args) {
    args.insert(args.begin(), SelfPath());
    return Start(std::move(args));
}

std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

// Child mode "--hold <folder> <caption>": registers the caption, says "ready", waits to be killed.
int HoldCaption(const char* folder, const char* caption) {
    SetPresenceFolder(folder);
    WindowPresence presence = WindowPresence::Register(caption);
    std::printf("%s\n", presence.IsRegistered() ? "ready" : "failed");
    std::fflush(stdout);
    for (;;) ::pause();
}

// Child mode "--end <code>": writes unflushed output, then ends at once; the handler registered
// with atexit must not run.
int EndAtOnce(int code) {
    std::atexit([] { std::printf("atexit ran"); });
    std::printf("written before the end");
    EndProcess(code);
}

QApplication* app = nullptr;

// ----- window presence -----

TEST(WindowPresence, ACaptionExistsWhileSomeProcessHoldsIt) {
    TempFolder temp;
    const std::string folder = (temp / "presence").string();
    SetPresenceFolder(folder);
    const std::string caption = "Plenova Saver Setting";
    EXPECT_FALSE(WindowWithCaptionExists(caption));

    const Started child = Spawn({"--hold", folder, caption});
    ASSERT_GT(child.pid, 0);
    ASSERT_EQ(ReadLine(child.out), "ready");
    EXPECT_TRUE(WindowWithCaptionExists(caption));
    EXPECT_FALSE(WindowWithCaptionExists("PlenovaSaver"));
    EXPECT_FALSE(WindowWithCaptionExists("plenova saver setting"));  // letter case counts

    // A registration of our own beside the child's, then the child dies without cleaning up.
    {
        WindowPresence own = WindowPresence::Register(caption);
        EXPECT_TRUE(own.IsRegistered());
        ::kill(child.pid, SIGKILL);
        WaitForExit(child.pid);
        ::close(child.out);
        EXPECT_TRUE(WindowWithCaptionExists(caption));  // ours still counts
    }
    EXPECT_FALSE(WindowWithCaptionExists(caption));
    SetPresenceFolder("");
}

TEST(WindowPresence, TokensMoveAndReleaseAndFileNamesAreSafe) {
    TempFolder temp;
    SetPresenceFolder((temp / "presence").string());
    WindowPresence a = WindowPresence::Register("PlenovaSaver");
    WindowPresence b = std::move(a);
    EXPECT_FALSE(a.IsRegistered());
    EXPECT_TRUE(b.IsRegistered());
    EXPECT_EQ(b.Caption(), "PlenovaSaver");
    EXPECT_TRUE(WindowWithCaptionExists("PlenovaSaver"));
    b.Release();
    EXPECT_FALSE(WindowWithCaptionExists("PlenovaSaver"));

    EXPECT_EQ(PresenceFileName("Plenova Saver Setting"), "w-Plenova%20Saver%20Setting");
    EXPECT_EQ(PresenceFileName("../x/"), "w-..%2Fx%2F");
    EXPECT_EQ(PresenceFileName(""), "w-");
    const std::string longA(400, 'a');
    const std::string longB = std::string(399, 'a') + "b";
    EXPECT_LE(PresenceFileName(longA).size(), 200u);
    EXPECT_NE(PresenceFileName(longA), PresenceFileName(longB));
    // Long captions are told apart all the same.
    WindowPresence longOne = WindowPresence::Register(longA);
    EXPECT_TRUE(WindowWithCaptionExists(longA));
    EXPECT_FALSE(WindowWithCaptionExists(longB));
    SetPresenceFolder("");
}

TEST(WindowPresence, AFolderOthersCanEnterIsNotUsed) {
    TempFolder temp;
    const auto open = temp / "open";
    std::filesystem::create_directory(open);
    std::filesystem::permissions(open, std::filesystem::perms::all);
    SetPresenceFolder(open.string());
    EXPECT_EQ(PresenceFolder(), "");
    EXPECT_FALSE(WindowPresence::Register("PlenovaSaver").IsRegistered());
    EXPECT_FALSE(WindowWithCaptionExists("PlenovaSaver"));
    SetPresenceFolder("");
}

// ----- ending the process -----

TEST(ProcessEnd, TheRealEndFlushesOutputAndRunsNoFurtherHandler) {
    const Started child = Spawn({"--end", "7"});
    ASSERT_GT(child.pid, 0);
    const std::string output = ReadToEnd(child.out);
    EXPECT_EQ(WaitForExit(child.pid), 7);
    EXPECT_EQ(output, "written before the end");
}

TEST(ProcessEnd, TheDoubleThrowsAnExceptionThatOrdinaryHandlersDoNotCatch) {
    ScopedThrowingProcessEnd end;
    bool caughtAsStdException = false;
    try {
        try {
            EndProcess(3);
        } catch (const std::exception&) {
            caughtAsStdException = true;
        }
        FAIL() << "EndProcess returned";
    } catch (const ProcessEnded& e) {
        EXPECT_EQ(e.exitCode, 3);
    }
    EXPECT_FALSE(caughtAsStdException);
    EXPECT_EQ(end->Calls(), 1);
    EXPECT_EQ(end->LastExitCode(), 3);
}

// ----- message boxes -----

// Presses a button of the next modal box once it is shown, and notes what the box looked like.
struct BoxSeen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

void AnswerNextBox(BoxSeen& seen, QMessageBox::StandardButton press, bool escape = false) {
    QTimer::singleShot(0, [&seen, press, escape] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            AnswerNextBox(seen, press, escape);  // not up yet
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = static_cast<int>(box->buttons().size());
        if (escape) {
            box->reject();
        } else {
            box->button(press)->click();
        }
    });
}

TEST(QtMessageBoxes, ShowsTheBoxAsAskedAndReturnsTheChosenButton) {
    QtMessageBoxes boxes;
    BoxSeen seen;
    AnswerNextBox(seen, QMessageBox::No);
    EXPECT_EQ(boxes.Show({"アンインストールしますか？", "PlenovaSetup", MsgButtons::YesNo,
                          MsgIcon::Question}),
              MsgResult::No);
    EXPECT_EQ(seen.title, QString::fromUtf8("PlenovaSetup"));
    EXPECT_EQ(seen.text, QString::fromUtf8("アンインストールしますか？"));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, 2);

    AnswerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(boxes.Show({"done", "PlenovaSetup", MsgButtons::Ok, MsgIcon::Information}),
              MsgResult::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, 1);

    AnswerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(boxes.Show({"<b>not markup</b>", "x", MsgButtons::Ok, MsgIcon::Critical}),
              MsgResult::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);

    // Closing a box without a button: Cancel where there is one, No for a Yes/No box.
    AnswerNextBox(seen, QMessageBox::NoButton, true);
    EXPECT_EQ(boxes.Show({"?", "x", MsgButtons::YesNo, MsgIcon::Question}), MsgResult::No);
    AnswerNextBox(seen, QMessageBox::NoButton, true);
    EXPECT_EQ(boxes.Show({"?", "x", MsgButtons::RetryCancel, MsgIcon::Exclamation}),
              MsgResult::Cancel);
    AnswerNextBox(seen, QMessageBox::Ignore);
    EXPECT_EQ(boxes.Show({"?", "x", MsgButtons::AbortRetryIgnore, MsgIcon::None}),
              MsgResult::Ignore);
    EXPECT_EQ(seen.buttons, 3);
}

// ----- cursor, screen, events -----

TEST(Cursor, TheScriptedCursorAnswersQueuedPositionsThenStays) {
    ScopedScriptedCursor cursor;
    EXPECT_EQ(CursorPosition(), (ScreenPoint{0, 0}));
    cursor->Set(10, 20);
    cursor->Queue(11, 21);
    cursor->Queue(13, 20);
    EXPECT_EQ(CursorPosition(), (ScreenPoint{11, 21}));
    EXPECT_EQ(CursorPosition(), (ScreenPoint{13, 20}));
    EXPECT_EQ(CursorPosition(), (ScreenPoint{13, 20}));
    EXPECT_EQ(cursor->Calls(), 4);
}

TEST(Cursor, TheQtCursorReportsTheSystemPosition) {
    QCursor::setPos(123, 45);
    QtCursor cursor;
    EXPECT_EQ(cursor.Position(), (ScreenPoint{123, 45}));
}

TEST(Screen, MetricsComeFromThePrimaryScreenOrTheFixedDouble) {
    QtScreen real;
    const ScreenMetrics m = real.Metrics();
    const QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(m.widthPixels, primary->size().width());
    EXPECT_EQ(m.heightPixels, primary->size().height());
    EXPECT_EQ(m.twipsPerPixelX,
              static_cast<int>(std::nearbyint(1440.0 / primary->logicalDotsPerInchX())));
    EXPECT_EQ(m.WidthTwips(), std::int64_t{m.widthPixels} * m.twipsPerPixelX);

    ScopedFixedScreen fixed({640, 480, 15, 15});
    EXPECT_EQ(ScreenInfo().WidthTwips(), 9600);
    EXPECT_EQ(ScreenInfo().HeightTwips(), 7200);
}

TEST(Events, PendingEventsRunAndAQuitRequestEndsTheLoop) {
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    DoEvents();
    EXPECT_TRUE(ran);

    PostQuit(5);  // posted before the loop runs, as an unload handler may do
    EXPECT_EQ(QCoreApplication::exec(), 5);
}

// ----- window operations without an X display -----

TEST(WindowOps, PointerModesAndTopmostPlacementKeepGeometry) {
    QWidget widget;
    widget.setWindowTitle("PlenovaSaver");
    widget.setGeometry(40, 30, 200, 100);
    SetPointerMode(widget, PointerMode::Hidden);
    EXPECT_EQ(GetPointerMode(widget), PointerMode::Hidden);
    EXPECT_EQ(widget.cursor().shape(), Qt::BlankCursor);
    SetPointerMode(widget, PointerMode::Default);
    EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);

    widget.show();
    const QRect before = widget.geometry();
    MakeTopmost(widget);
    EXPECT_TRUE(widget.isVisible());
    EXPECT_TRUE(widget.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(widget.geometry(), before);
    EXPECT_FALSE(widget.testAttribute(Qt::WA_ShowWithoutActivating));
    MakeTopmost(widget);  // again: nothing changes
    EXPECT_EQ(widget.geometry(), before);

    QWidget hidden;
    hidden.setGeometry(5, 6, 70, 80);
    MakeTopmost(hidden);
    EXPECT_TRUE(hidden.isVisible());
    EXPECT_EQ(hidden.geometry(), QRect(5, 6, 70, 80));
}

TEST(WindowOps, ForeignWindowsFailCleanlyWithoutAnXDisplay) {
    EXPECT_FALSE(ForeignWindowsSupported());
    WindowRect rect{1, 2, 3, 4};
    EXPECT_FALSE(GetForeignWindowRect(0x1234, rect));
    EXPECT_EQ(rect, WindowRect{});
    EXPECT_FALSE(ForeignWindowExists(0x1234));
    QWidget widget;
    EXPECT_FALSE(ReparentIntoForeignWindow(widget, 0x1234));
    bool fired = false;
    ForeignWindowWatch watch(0x1234, [&fired] { fired = true; });
    EXPECT_FALSE(watch.CheckNow());
    EXPECT_FALSE(fired);
}

// ----- installing the real services -----

TEST(DesktopServices, InstallPutsTheRealServicesAndTheAudioOfTheEnvironmentInPlace) {
    TempFolder temp;
    ScopedMachine machine(temp / "machine");
    plenova::testing::WriteAll(temp / "machine" / "drive_c" / "SCR.wav", "RIFF");
    const auto log = temp / "mci.log";
    ::setenv("PLENOVA_MCI_LOG", log.c_str(), 1);
    ::setenv("PLENOVA_AUDIO", "test", 1);
    ::setenv("PLENOVA_AUDIO_TEST_MS", "30", 1);

    InstallDesktopServices("PlenovaSaver");
    EXPECT_NE(dynamic_cast<QtMessageBoxes*>(&MessageBoxes()), nullptr);
    EXPECT_NE(dynamic_cast<ImmediateProcessEnd*>(&ProcessEnd()), nullptr);
    EXPECT_NE(dynamic_cast<QtCursor*>(&Cursor()), nullptr);
    EXPECT_NE(dynamic_cast<QtScreen*>(&Screen()), nullptr);
    EXPECT_EQ(Multimedia().ReportCaption(), "PlenovaSaver");
    auto* backend = dynamic_cast<TestAudioBackend*>(Multimedia().Backend().get());
    ASSERT_NE(backend, nullptr);

    // The test back end of a whole-program run follows the clock: the sound ends by itself.
    std::string reply;
    ASSERT_EQ(MciSendString("open C:\\SCR.wav alias bgm"), 0u);
    ASSERT_EQ(MciSendString("play bgm notify"), 0u);
    QElapsedTimer clock;
    clock.start();
    while (MciSendString("status bgm mode", &reply) == 0 && reply == "playing" &&
           clock.elapsed() < 10000) {
        QThread::msleep(5);
    }
    EXPECT_EQ(reply, "stopped");
    EXPECT_GE(clock.elapsed(), 25);
    MciExecute("close bgm");
    const std::string logged = plenova::testing::ReadAll(log);
    EXPECT_EQ(logged.rfind("send\t0\topen C:\\SCR.wav alias bgm\nsend\t0\tplay bgm notify\n", 0),
              0u);
    EXPECT_TRUE(logged.ends_with("send\t0\tstatus bgm mode\nexecute\t0\tclose bgm\n"));

    SetMessageBoxes(nullptr);
    SetProcessEnd(nullptr);
    SetCursorService(nullptr);
    SetScreenService(nullptr);
    ::unsetenv("PLENOVA_MCI_LOG");
    ::setenv("PLENOVA_AUDIO", "none", 1);
    SetAudioBackend(AudioBackendFromEnvironment());
    EXPECT_NE(dynamic_cast<NoAudioBackend*>(Multimedia().Backend().get()), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--hold") == 0) return HoldCaption(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--end") == 0) return EndAtOnce(std::atoi(argv[2]));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    app = &application;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
