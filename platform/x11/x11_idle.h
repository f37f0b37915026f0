// The X server's idle time (MIT-SCREEN-SAVER), on a connection of its own to $DISPLAY.
#pragma once

#include <memory>
#include <string>

#include "platform/idle.h"

namespace plenova::platform {

// Null, with the reason in `why`, when there is no X server or it lacks the extension.
std::unique_ptr<IdleSource> OpenX11IdleSource(std::string& why);

}  // namespace plenova::platform
