// Foreign-window operations against a real X server (run under plenova-xvfb-run with Qt's xcb
// platform).
#include <chrono>
#include <functional>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/events.h"
#include "platform/x11/window_ops.h"

using namespace plenova::platform;

namespace {

// Runs the event loop until `done` holds or a generous deadline passes.
bool RunUntil(const std::function<bool()>& done, int deadlineMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > deadlineMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A plain window of another "program": its own X connection, as a screen-saver host would be.
class HostWindow {
public:
    HostWindow(int x, int y, int width, int height) {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) return;
        const int screen = DefaultScreen(display_);
        window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), x, y,
                                      static_cast<unsigned>(width), static_cast<unsigned>(height),
                                      0, BlackPixel(display_, screen), BlackPixel(display_, screen));
        XMapWindow(display_, window_);
        XSync(display_, False);
    }
    ~HostWindow() {
        if (display_ == nullptr) return;
        Destroy();
        XCloseDisplay(display_);
    }
    void Destroy() {
        if (window_ != 0) {
            XDestroyWindow(display_, window_);
            XSync(display_, False);
            window_ = 0;
        }
    }
    // The parent of a window as the X server sees it.
    Window ParentOf(Window child) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, child, &root, &parent, &children, &count)) return 0;
        if (children) XFree(children);
        return parent;
    }
    bool Ok() const { return display_ != nullptr && window_ != 0; }
    ForeignWindowHandle Handle() const { return static_cast<ForeignWindowHandle>(window_); }

private:
    Display* display_ = nullptr;
    Window window_ = 0;
};

TEST(ForeignWindows, RectangleOfAHostWindowAndOfNoWindow) {
    ASSERT_TRUE(ForeignWindowsSupported());
    HostWindow host(30, 40, 152, 112);
    ASSERT_TRUE(host.Ok());
    WindowRect rect;
    ASSERT_TRUE(GetForeignWindowRect(host.Handle(), rect));
    EXPECT_EQ(rect, (WindowRect{30, 40, 182, 152}));
    EXPECT_EQ(rect.Width(), 152);
    EXPECT_EQ(rect.Height(), 112);
    EXPECT_TRUE(ForeignWindowExists(host.Handle()));

    // Ids that name no window answer false and a zero rectangle, and the program goes on.
    for (ForeignWindowHandle bad : {ForeignWindowHandle{0}, ForeignWindowHandle{-5},
                                    ForeignWindowHandle{0x1FFFFFFF}, host.Handle() + 1000,
                                    ForeignWindowHandle{0x100000000LL}}) {
        rect = {1, 1, 1, 1};
        EXPECT_FALSE(GetForeignWindowRect(bad, rect)) << bad;
        EXPECT_EQ(rect, WindowRect{});
        EXPECT_FALSE(ForeignWindowExists(bad));
        QWidget widget;
        EXPECT_FALSE(ReparentIntoForeignWindow(widget, bad));
    }
    DoEvents();
}

TEST(ForeignWindows, AWidgetBecomesAChildOfTheHostAndTheWatchSeesTheHostGo) {
    HostWindow host(10, 20, 152, 112);
    ASSERT_TRUE(host.Ok());
    auto widget = std::make_unique<QWidget>();
    widget->setWindowFlags(Qt::FramelessWindowHint);
    widget->setGeometry(0, 0, 152, 112);
    ASSERT_TRUE(ReparentIntoForeignWindow(*widget, host.Handle()));
    widget->show();
    DoEvents();
    const auto own = static_cast<Window>(widget->winId());
    ASSERT_TRUE(RunUntil([&] { return host.ParentOf(own) == static_cast<Window>(host.Handle()); }));

    // The child lies inside the host, at the host's top-left corner.
    WindowRect rect;
    ASSERT_TRUE(RunUntil([&] {
        return GetForeignWindowRect(static_cast<ForeignWindowHandle>(own), rect) &&
               rect == WindowRect{10, 20, 162, 132};
    })) << rect.left << "," << rect.top << " " << rect.Width() << "x" << rect.Height();

    int calls = 0;
    ForeignWindowWatch watch(host.Handle(), [&calls] { ++calls; }, 50);
    DoEvents();
    EXPECT_FALSE(watch.Fired());
    host.Destroy();
    ASSERT_TRUE(RunUntil([&] { return watch.Fired(); }));
    DoEvents();
    EXPECT_EQ(calls, 1);
    widget.reset();  // the widget's window went with its host; deleting it must not crash
    DoEvents();
}

TEST(ForeignWindows, TheWatchMayDeleteItselfFromItsCallback) {
    HostWindow host(0, 0, 50, 50);
    ASSERT_TRUE(host.Ok());
    bool fired = false;
    auto* watch = new ForeignWindowWatch(host.Handle(), [&] {
        fired = true;
    });
    std::unique_ptr<ForeignWindowWatch> owner(watch);
    host.Destroy();
    ASSERT_TRUE(RunUntil([&] { return fired; }));
    ForeignWindowWatch* raw = owner.release();
    // A second watch on a window that is already gone fires at its first check.
    bool second = false;
    ForeignWindowWatch* self = nullptr;
    self = new ForeignWindowWatch(raw->Handle(), [&] {
        second = true;
        delete self;
    });
    delete raw;
    ASSERT_TRUE(RunUntil([&] { return second; }));
}

TEST(ForeignWindows, TopmostOnX11KeepsTheWindowWhereItWas) {
    QWidget widget;
    widget.setWindowFlags(Qt::FramelessWindowHint);
    widget.setGeometry(-7, -12, 300, 200);
    widget.show();
    ASSERT_TRUE(RunUntil([&] { return widget.isVisible(); }));
    const WId before = widget.winId();
    MakeTopmost(widget);
    EXPECT_EQ(widget.winId(), before);  // the same native window, never re-made
    DoEvents();
    EXPECT_TRUE(widget.isVisible());
    EXPECT_TRUE(widget.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    WindowRect rect;
    ASSERT_TRUE(RunUntil([&] {
        return GetForeignWindowRect(static_cast<ForeignWindowHandle>(widget.winId()), rect) &&
               rect == WindowRect{-7, -12, 293, 188};
    })) << rect.left << "," << rect.top << " " << rect.Width() << "x" << rect.Height();
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
