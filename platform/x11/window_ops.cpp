#include "platform/x11/window_ops.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <limits>

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

namespace plenova::platform {

namespace {

// Qt's own connection to the X server, or nullptr when Qt does not run on xcb. Requests made
// here use checked replies, so an error (a window that does not exist) comes back to us as the
// reply's error and never reaches Qt's error handler or ends the program.
xcb_connection_t* XConnection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) return nullptr;
    xcb_connection_t* connection = x11->connection();
    if (connection == nullptr || xcb_connection_has_error(connection)) return nullptr;
    return connection;
}

bool ValidHandle(ForeignWindowHandle handle) {
    return handle > 0 && handle <= std::numeric_limits<std::uint32_t>::max();
}

struct Geometry {
    xcb_window_t root = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t depth = 0;
};

bool QueryGeometry(xcb_connection_t* connection, xcb_window_t window, Geometry& geometry) {
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* reply =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), &error);
    std::free(error);
    if (reply == nullptr) return false;
    geometry.root = reply->root;
    geometry.width = reply->width;
    geometry.height = reply->height;
    geometry.depth = reply->depth;
    std::free(reply);
    return true;
}

}  // namespace

void SetPointerMode(QWidget& widget, PointerMode mode) {
    widget.setCursor(mode == PointerMode::Hidden ? Qt::BlankCursor : Qt::ArrowCursor);
}

PointerMode GetPointerMode(const QWidget& widget) {
    return widget.cursor().shape() == Qt::BlankCursor ? PointerMode::Hidden : PointerMode::Default;
}

void MakeTopmost(QWidget& widget) {
    const Qt::WindowFlags flags = widget.windowFlags() | Qt::WindowStaysOnTopHint;
    if (widget.windowFlags() != flags) {
        QWindow* window = widget.windowHandle();
        if (window != nullptr && widget.testAttribute(Qt::WA_WState_Created)) {
            // A window that exists gets the hint from its platform window directly (on X11 as
            // _NET_WM_STATE_ABOVE). Changing the widget's flags instead would destroy and re-make
            // the native window: hidden for a moment, a new window id, focus lost.
            widget.overrideWindowFlags(flags);
            window->setFlags(flags);
        } else {
            const QRect geometry = widget.geometry();
            widget.setWindowFlags(flags);  // nothing native to re-make yet
            widget.setGeometry(geometry);
        }
    }
    if (!widget.isVisible()) {
        const bool hadNoActivate = widget.testAttribute(Qt::WA_ShowWithoutActivating);
        widget.setAttribute(Qt::WA_ShowWithoutActivating, true);
        widget.show();
        widget.setAttribute(Qt::WA_ShowWithoutActivating, hadNoActivate);
    }
    widget.raise();
}

bool ForeignWindowsSupported() { return XConnection() != nullptr; }

bool ForeignWindowExists(ForeignWindowHandle handle) {
    xcb_connection_t* connection = XConnection();
    if (connection == nullptr || !ValidHandle(handle)) return false;
    Geometry geometry;
    return QueryGeometry(connection, static_cast<xcb_window_t>(handle), geometry);
}

bool GetForeignWindowRect(ForeignWindowHandle handle, WindowRect& rect) {
    rect = {};
    xcb_connection_t* connection = XConnection();
    if (connection == nullptr || !ValidHandle(handle)) return false;
    const auto window = static_cast<xcb_window_t>(handle);
    Geometry geometry;
    if (!QueryGeometry(connection, window, geometry)) return false;
    xcb_generic_error_t* error = nullptr;
    xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, geometry.root, 0, 0), &error);
    std::free(error);
    if (origin == nullptr) return false;
    rect.left = origin->dst_x;
    rect.top = origin->dst_y;
    rect.right = rect.left + geometry.width;
    rect.bottom = rect.top + geometry.height;
    std::free(origin);
    return true;
}

bool ReparentIntoForeignWindow(QWidget& widget, ForeignWindowHandle host) {
    if (!ForeignWindowExists(host)) return false;
    QWindow* hostWindow = QWindow::fromWinId(static_cast<WId>(host));
    if (hostWindow == nullptr) return false;
    widget.winId();  // makes the widget's native window
    QWindow* own = widget.windowHandle();
    if (own == nullptr) {
        delete hostWindow;
        return false;
    }
    const QRect geometry = widget.geometry();
    own->setParent(hostWindow);
    widget.setGeometry(geometry);
    // The host's QWindow stands for a window we do not own (deleting it leaves the X window
    // alone). It must outlive the widget's own window, its child, which a widget destroys only
    // after it has announced its destruction: so it goes later, from the event loop.
    QObject::connect(&widget, &QObject::destroyed, hostWindow, &QObject::deleteLater);
    return true;
}

ForeignWindowHandle RootWindowHandle() {
    xcb_connection_t* connection = XConnection();
    if (connection == nullptr) return 0;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    return screen != nullptr ? static_cast<ForeignWindowHandle>(screen->root) : 0;
}

bool DrawOnForeignWindow(ForeignWindowHandle handle, const QImage& image) {
    xcb_connection_t* connection = XConnection();
    if (connection == nullptr || !ValidHandle(handle) || image.isNull()) return false;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32 &&
        image.format() != QImage::Format_ARGB32_Premultiplied) {
        return false;
    }
    const auto window = static_cast<xcb_window_t>(handle);
    Geometry geometry;
    if (!QueryGeometry(connection, window, geometry)) return false;
    // 32-bit pixels with blue in the lowest byte are what a little-endian X server keeps for a
    // true-colour window of depth 24 or 32.
    if (geometry.depth != 24 && geometry.depth != 32) return false;
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    xcb_create_gc(connection, gc, window, 0, nullptr);
    // One request carries at most the server's largest request: the picture goes in bands of
    // whole rows that fit.
    const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * 4;
    const std::size_t largest =
        static_cast<std::size_t>(xcb_get_maximum_request_length(connection)) * 4;
    const std::size_t header = 64;
    const int bandRows = static_cast<int>(
        std::max<std::size_t>(1, largest > header + rowBytes ? (largest - header) / rowBytes : 1));
    for (int top = 0; top < image.height(); top += bandRows) {
        const int rows = std::min(bandRows, image.height() - top);
        std::vector<std::uint8_t> band(rowBytes * static_cast<std::size_t>(rows));
        for (int y = 0; y < rows; ++y) {
            std::memcpy(band.data() + rowBytes * static_cast<std::size_t>(y),
                        image.constScanLine(top + y), rowBytes);
        }
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc,
                      static_cast<std::uint16_t>(image.width()), static_cast<std::uint16_t>(rows),
                      0, static_cast<std::int16_t>(top), 0, geometry.depth,
                      static_cast<std::uint32_t>(band.size()), band.data());
    }
    xcb_free_gc(connection, gc);
    xcb_flush(connection);
    return true;
}

void ClearForeignWindow(ForeignWindowHandle handle) {
    xcb_connection_t* connection = XConnection();
    if (connection == nullptr || !ValidHandle(handle)) return;
    xcb_clear_area(connection, 0, static_cast<xcb_window_t>(handle), 0, 0, 0, 0);
    xcb_flush(connection);
}

ForeignWindowWatch::ForeignWindowWatch(ForeignWindowHandle handle, std::function<void()> onGone,
                                       int intervalMs)
    : handle_(handle), onGone_(std::move(onGone)), timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(intervalMs > 0 ? intervalMs : 100);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { CheckNow(); });
    // Without an X display there is nothing that could be watched; the watch then stays quiet.
    if (ForeignWindowsSupported()) timer_->start();
}

ForeignWindowWatch::~ForeignWindowWatch() = default;

bool ForeignWindowWatch::CheckNow() {
    if (fired_) return true;
    if (!ForeignWindowsSupported() || ForeignWindowExists(handle_)) return false;
    fired_ = true;
    timer_->stop();
    // The callback may delete this watch: it runs from a local copy, and nothing of the watch is
    // touched afterwards.
    const std::function<void()> callback = std::move(onGone_);
    if (callback) callback();
    return true;
}

}  // namespace plenova::platform
