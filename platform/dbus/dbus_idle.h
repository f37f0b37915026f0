// The idle sources and inhibitors that live on the session bus (Qt D-Bus): GNOME's idle
// monitor and session manager, and an org.freedesktop.ScreenSaver service of our own for
// sessions that have none.
#pragma once

#include <memory>
#include <string>

#include "platform/idle.h"

namespace plenova::platform {

// org.gnome.Mutter.IdleMonitor's core monitor; null, with the reason in `why`, when the
// session bus has none.
std::unique_ptr<IdleSource> OpenMutterIdleSource(std::string& why);

// gnome-session's IsInhibited(8) (idle); null when gnome-session is not on the bus.
std::unique_ptr<InhibitionSource> OpenGnomeSessionInhibitors();

// Takes org.freedesktop.ScreenSaver on the session bus and serves Inhibit and UnInhibit; null
// when there is no session bus or another program already owns the name.
std::unique_ptr<InhibitionSource> OpenOwnScreenSaverService();

}  // namespace plenova::platform
