// What the screen-saver host watches on the desktop: how long the user has been idle, and
// whether a program (a video player) has asked that no saver start. Every desktop offers these
// in its own way; the back ends are in platform/x11 (MIT-SCREEN-SAVER), platform/wayland
// (ext_idle_notifier_v1, org_kde_kwin_idle) and platform/dbus (GNOME's idle monitor and
// session manager, the org.freedesktop.ScreenSaver service), and the functions below pick the
// one that this session offers.
//
// Both need the caller's event loop to run (D-Bus calls to the D-Bus back ends arrive through
// it).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace plenova::platform {

class IdleSource {
public:
    virtual ~IdleSource() = default;
    // The desktop's name of what is watched, for messages ("MIT-SCREEN-SAVER").
    virtual std::string Name() const = 0;
    // How long the user has been idle. `threshold` is the idle time that matters to the
    // caller: sources that are told when the user goes idle rather than asked (Wayland, which
    // also leaves out the time that an idle-inhibitor held) report zero until that much time
    // has passed. Empty when the source is lost (the display or compositor went away).
    virtual std::optional<std::chrono::milliseconds> IdleTime(
        std::chrono::milliseconds threshold) = 0;
};

class InhibitionSource {
public:
    virtual ~InhibitionSource() = default;
    virtual std::string Name() const = 0;
    // True while some program holds an inhibition of the idle saver.
    virtual bool Inhibited() = 0;
};

// The idle source of this session: a Wayland compositor's idle protocol, else GNOME's idle
// monitor on the session bus, else the X server's MIT-SCREEN-SAVER. Null when none answers;
// `why` then says what was tried.
std::unique_ptr<IdleSource> OpenIdleSource(std::string& why);

// The inhibitors of this session: gnome-session's where it runs; else, when nobody owns
// org.freedesktop.ScreenSaver on the session bus (a bare X11 or wlroots session), that service
// of our own, which holds the inhibitions that programs ask for and frees each when its caller
// leaves the bus. Null when neither applies (no session bus, or another program serves the
// inhibitors and honours them itself).
std::unique_ptr<InhibitionSource> OpenInhibitionSource();

}  // namespace plenova::platform
