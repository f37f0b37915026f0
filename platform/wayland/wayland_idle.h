// A Wayland compositor's idle notifications: ext_idle_notifier_v1 where the compositor offers
// it, else org_kde_kwin_idle. The compositor leaves out the time an idle-inhibitor (a video
// player's surface) held, so these sources honour inhibitors by themselves.
#pragma once

#include <memory>
#include <string>

#include "platform/idle.h"

namespace plenova::platform {

// Null, with the reason in `why`, when there is no compositor ($WAYLAND_DISPLAY) or it offers
// neither protocol.
std::unique_ptr<IdleSource> OpenWaylandIdleSource(std::string& why);

}  // namespace plenova::platform
