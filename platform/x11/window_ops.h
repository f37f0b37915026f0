// Window operations on Qt widgets and on foreign windows (windows of other programs, addressed by
// their native handle: on Linux an X11 window id). Foreign-window operations need Qt's xcb
// platform; on any other platform (offscreen in tests, Wayland) they fail cleanly and return
// false. A handle that names no window is never an error that stops the program: X errors of
// these requests are taken as replies, not reported to Qt's error handler.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class QImage;
class QWidget;
class QTimer;

namespace plenova::platform {

// Native window handle as the programs carry it (a 32-bit value read from the command line).
// Zero, negative values and values beyond 32 bits name no window.
using ForeignWindowHandle = std::int64_t;

// Screen rectangle in pixels: right and bottom lie one past the last pixel (GetWindowRect).
struct WindowRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t Width() const noexcept { return right - left; }
    std::int32_t Height() const noexcept { return bottom - top; }
    friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

// Pointer modes of a window: the system arrow, or a pointer that is invisible over the window
// (a blank cursor, as a custom pointer with a fully transparent icon would be).
enum class PointerMode { Default, Hidden };
void SetPointerMode(QWidget& widget, PointerMode mode);
PointerMode GetPointerMode(const QWidget& widget);

// Makes a top-level widget topmost and shows it, without moving, sizing or activating it
// (SetWindowPos HWND_TOPMOST with no-move, no-size, no-activate, show-window): adds
// Qt::WindowStaysOnTopHint (on X11 the window manager is asked for _NET_WM_STATE_ABOVE), shows
// the widget without activating it if hidden, and raises it. An existing native window is kept
// (same window id, no flicker); geometry and focus stay as they were.
void MakeTopmost(QWidget& widget);

// True when the running Qt platform can reach foreign windows (xcb with a display).
bool ForeignWindowsSupported();

// True when `handle` names an existing window of the display.
bool ForeignWindowExists(ForeignWindowHandle handle);

// Screen rectangle of a foreign window (GetWindowRect). False, with `rect` set to all zero, for
// an invalid handle or when foreign windows are not supported.
bool GetForeignWindowRect(ForeignWindowHandle handle, WindowRect& rect);

// Turns the widget's window into a child window of the foreign window `host` (SetParent with the
// child style): the widget keeps its geometry, which from then on is relative to the host's
// client area. The foreign QWindow made for the host is owned by the widget and deleted with it.
// False (and nothing changed) for an invalid handle or when foreign windows are not supported.
bool ReparentIntoForeignWindow(QWidget& widget, ForeignWindowHandle host);

// The root window of the default screen (the desktop background), or 0 without foreign windows.
ForeignWindowHandle RootWindowHandle();

// Draws a 32-bit image (one pixel per window pixel, its top-left corner at the window's) on a
// foreign window of depth 24 or 32. False when foreign windows are not supported or the window
// does not take such pixels.
bool DrawOnForeignWindow(ForeignWindowHandle handle, const QImage& image);

// Repaints a foreign window with its own background (after drawing on the root window, the
// desktop's own picture or colour comes back).
void ClearForeignWindow(ForeignWindowHandle handle);

// Watches a foreign window and calls `onGone` once, from the event loop, when it no longer
// exists. The window's existence is polled with a QTimer every `intervalMs` milliseconds (an
// X geometry request, answered with an error once the window is gone): polling needs no event
// selection on a window we do not own and cannot miss a destruction that happened before the
// watch began. Stops on destruction of the watch object.
class ForeignWindowWatch {
public:
    ForeignWindowWatch(ForeignWindowHandle handle, std::function<void()> onGone,
                       int intervalMs = 100);
    ~ForeignWindowWatch();
    ForeignWindowWatch(const ForeignWindowWatch&) = delete;
    ForeignWindowWatch& operator=(const ForeignWindowWatch&) = delete;

    ForeignWindowHandle Handle() const noexcept { return handle_; }
    // True once `onGone` has been called.
    bool Fired() const noexcept { return fired_; }
    // Runs one check now (the timer calls this); returns true when the window is gone.
    bool CheckNow();

private:
    ForeignWindowHandle handle_;
    std::function<void()> onGone_;
    bool fired_ = false;
    std::unique_ptr<QTimer> timer_;
};

}  // namespace plenova::platform
