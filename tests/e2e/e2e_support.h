// What the end-to-end tests share: starting and ending processes, xdotool, finding top-level
// windows by name, their geometry on the screen (with and without the window manager's frame),
// screenshots, waiting for a condition with a deadline, and the test program's main, which opens
// the display into `display`.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/x_server.h"

// Xlib's macros (None, Bool, Status...) clash with names in other headers: include this last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace plenova::e2e {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

inline Display* display = nullptr;

inline double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

using plenova::testing::WaitUntil;

// ----- processes -----

// The strings as the null-ended array of C strings that exec and spawn take; they point into
// `strings`, which must outlive the array.
inline std::vector<char*> CStrings(const std::vector<std::string>& strings) {
    std::vector<char*> array;
    for (const std::string& s : strings) array.push_back(const_cast<char*>(s.c_str()));
    array.push_back(nullptr);
    return array;
}

// Starts the program with the environment plus `extraEnv` ("NAME=value", replacing a variable
// of that name); -1 when it cannot be started. Quiet: standard error goes to /dev/null.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                   bool quiet = true) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const std::string& extra : extraEnv) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        env.push_back(extra);
    }
    std::vector<char*> args = CStrings(argv);
    std::vector<char*> envp = CStrings(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Waits for the process to end; its exit status, or an empty optional on timeout.
inline std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(200us);
    }
}

inline void Kill(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// Ends a program of the test with SIGTERM (SIGKILL when it lingers) when it goes out of scope,
// also when a check failed; `pid` -1 once the test has ended it itself.
struct EndedAtExit {
    pid_t pid;
    ~EndedAtExit() {
        if (pid > 0 && ::kill(pid, SIGTERM) == 0 && !WaitExit(pid, std::chrono::seconds(10))) {
            Kill(pid);
        }
    }
};

// Runs xdotool with the arguments and waits for it.
inline void Xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = Spawn(argv, {});
    ASSERT_GT(pid, 0) << "xdotool cannot be started";
    const auto status = WaitExit(pid, 10s);
    ASSERT_TRUE(status.has_value()) << "xdotool hangs";
    ASSERT_EQ(*status, 0) << "xdotool failed";
}

// ----- X windows -----

inline std::string WindowName(Window window) {
    static const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    static const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr) {
        name.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return name;
}

inline bool Viewable(Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

inline std::vector<Window> Children(Window window) {
    std::vector<Window> found;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return found;
    found.assign(children, children + count);
    if (children != nullptr) XFree(children);
    return found;
}

// Every viewable client window with this exact name: a child of the root window or, under a
// window manager, of a frame (searched two levels deep).
inline std::vector<Window> ViewableWindows(const std::string& name) {
    std::vector<Window> found;
    for (Window top : Children(DefaultRootWindow(display))) {
        if (!Viewable(top)) continue;
        if (WindowName(top) == name) {
            found.push_back(top);
            continue;
        }
        for (Window inner : Children(top)) {
            if (Viewable(inner) && WindowName(inner) == name) found.push_back(inner);
            for (Window client : Children(inner))
                if (Viewable(client) && WindowName(client) == name) found.push_back(client);
        }
    }
    return found;
}

// The first viewable window with the name, waited for; the wait ends early once
// `worthWaiting` (when given) turns false.
inline std::optional<Window> WaitForWindow(const std::string& name,
                                           std::chrono::milliseconds timeout,
                                           const std::function<bool()>& worthWaiting = {}) {
    std::optional<Window> window;
    WaitUntil(
        [&] {
            XSync(display, False);
            const std::vector<Window> windows = ViewableWindows(name);
            if (!windows.empty()) window = windows.front();
            return window.has_value() || (worthWaiting && !worthWaiting());
        },
        timeout, 20ms);
    return window;
}

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The window's area on the screen (without any frame).
inline Rect RootGeometry(Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    Rect rect;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &rect.x, &rect.y,
                          &child);
    rect.width = attributes.width;
    rect.height = attributes.height;
    return rect;
}

// The window's outer area on the screen: that of its ancestor just below the root window (the
// window manager's frame, borders included), or its own when it has no frame.
inline Rect OuterGeometry(Window window) {
    const Window rootWindow = DefaultRootWindow(display);
    Window top = window;
    for (;;) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, top, &root, &parent, &children, &count) == 0) break;
        if (children != nullptr) XFree(children);
        if (parent == rootWindow || parent == 0) break;
        top = parent;
    }
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, top, &attributes);
    return Rect{attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                attributes.height + 2 * attributes.border_width};
}

// The window's own _NET_FRAME_EXTENTS (left, right, top, bottom), when a window manager set it.
inline std::optional<std::vector<long>> FrameExtents(Window window) {
    static const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<std::vector<long>> result;
    if (XGetWindowProperty(display, window, extents, 0, 4, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr) {
        if (count == 4) {
            const auto* values = reinterpret_cast<const long*>(data);
            result = std::vector<long>(values, values + 4);
        }
        XFree(data);
    }
    return result;
}

// True when a window manager runs on the display (it has announced itself on the root window).
inline bool WindowManagerRuns() {
    static const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False,
                                          XA_WINDOW, &type, &format, &count, &after,
                                          &data) == Success &&
                       data != nullptr && count == 1;
    if (data != nullptr) XFree(data);
    return found;
}

// True once a window manager frames new windows: it has announced itself and a probe window
// mapped now gets a frame. A manager that has only just announced itself may still miss a
// window mapped in that moment, so a probe that stays unframed is replaced by a fresh one.
inline bool WaitForWindowManager(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    if (!WaitUntil(WindowManagerRuns, timeout)) return false;
    const Window rootWindow = DefaultRootWindow(display);
    while (Clock::now() < deadline) {
        const Window probe = XCreateSimpleWindow(display, rootWindow, 0, 0, 10, 10, 0, 0, 0);
        XMapWindow(display, probe);
        XSync(display, False);
        const bool framed = WaitUntil(
            [&] {
                Window root = 0, parent = 0;
                Window* children = nullptr;
                unsigned int count = 0;
                if (XQueryTree(display, probe, &root, &parent, &children, &count) == 0)
                    return false;
                if (children != nullptr) XFree(children);
                return parent != rootWindow;
            },
            2s);
        XDestroyWindow(display, probe);
        XSync(display, False);
        if (framed) return true;
    }
    return false;
}

// ----- screenshots -----

// A window's pixels (0xRRGGBB).
struct WindowShot {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// The window's pixels as the screen shows them; empty when the window cannot be read.
inline WindowShot ShootWindow(Window window) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0) return {};
    WindowShot shot;
    shot.width = attributes.width;
    shot.height = attributes.height;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(shot.width),
                              static_cast<unsigned>(shot.height), AllPlanes, ZPixmap);
    if (image == nullptr) return {};
    shot.pixels.resize(static_cast<std::size_t>(shot.width) *
                       static_cast<std::size_t>(shot.height));
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            shot.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(shot.width) +
                        static_cast<std::size_t>(x)] =
                static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu;
    XDestroyImage(image);
    return shot;
}

// The whole screen's pixels.
inline WindowShot ShootScreen() { return ShootWindow(DefaultRootWindow(display)); }

// The window that has the keyboard focus.
inline Window FocusWindow() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus;
}

// ----- the test program -----

// A test program's whole run: starts an X server of its own (`screen` as Xvfb takes it, with a
// window manager when asked), opens it into `display`, lets `prepare` ready it (false ends the
// program with 1), waits until the window manager frames windows, runs every test and gives the
// exit code.
inline int RunTestsOnOwnXServer(int argc, char** argv, const std::string& screen,
                                bool windowManager = false,
                                const std::function<bool(testing::XServer&)>& prepare = {}) {
    ::testing::InitGoogleTest(&argc, argv);
    std::optional<testing::XServer> server;
    try {
        server.emplace(screen, windowManager);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    display = XOpenDisplay(server->Display().c_str());
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open the display %s\n", server->Display().c_str());
        return 1;
    }
    if (prepare && !prepare(*server)) {
        XCloseDisplay(display);
        return 1;
    }
    if (windowManager && !WaitForWindowManager(30s)) {
        std::fprintf(stderr, "the window manager does not frame windows\n");
        XCloseDisplay(display);
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    XCloseDisplay(display);
    return result;
}

}  // namespace plenova::e2e
