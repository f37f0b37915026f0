#include "platform/idle.h"

#include "platform/dbus/dbus_idle.h"
#include "platform/wayland/wayland_idle.h"
#include "platform/x11/x11_idle.h"

namespace plenova::platform {

std::unique_ptr<IdleSource> OpenIdleSource(std::string& why) {
    // In this order: on a Wayland desktop the X server (XWayland) sees only the input of X
    // clients, and GNOME offers no Wayland idle protocol but its monitor on the bus.
    std::string reasons;
    using Opener = std::unique_ptr<IdleSource> (*)(std::string&);
    for (const Opener open : {&OpenWaylandIdleSource, &OpenMutterIdleSource, &OpenX11IdleSource}) {
        std::string reason;
        if (auto source = open(reason)) return source;
        reasons += (reasons.empty() ? "" : "; ") + reason;
    }
    why = reasons;
    return nullptr;
}

std::unique_ptr<InhibitionSource> OpenInhibitionSource() {
    if (auto session = OpenGnomeSessionInhibitors()) return session;
    return OpenOwnScreenSaverService();
}

}  // namespace plenova::platform
