// The real window-system service, on Qt.
#pragma once

#include "platform/window_system.h"

namespace plenova::platform {

// Real service: windows are placed by the program everywhere except on Qt's Wayland platforms.
// Needs a QGuiApplication (without one the X11 answer is given).
class QtWindowSystem : public WindowSystemService {
public:
    bool ProgramsPlaceWindows() override;
};

}  // namespace plenova::platform
