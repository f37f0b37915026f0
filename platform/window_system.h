// What the windowing system lets a program do with its windows. On X11 a program places its
// top-level windows where it likes (beyond the screen edges too), keeps them above the others,
// reads the pointer's position anywhere on the screen and embeds its windows in other programs'
// windows. A Wayland compositor allows none of that: it places every window itself, a window
// asks for a whole output by going fullscreen, the pointer is known only over the program's own
// windows, and there is no foreign window to embed into.
//
// The real service asks Qt which platform it runs on; the test double answers as it is told,
// and until a service is installed the answer is the X11 one, so that logic without a desktop
// keeps the classic behaviour.
#pragma once

#include <memory>

#include "platform/service_slot.h"

namespace plenova::platform {

class WindowSystemService {
public:
    virtual ~WindowSystemService() = default;
    // True where programs place their windows and read the pointer on the whole screen (X11);
    // false where the compositor places windows (Wayland).
    virtual bool ProgramsPlaceWindows() = 0;
};

WindowSystemService& WindowSystem();
// Installs a service (nullptr: the default FixedWindowSystem); returns the previous one.
std::shared_ptr<WindowSystemService> SetWindowSystemService(
    std::shared_ptr<WindowSystemService> service);
inline bool ProgramsPlaceWindows() { return WindowSystem().ProgramsPlaceWindows(); }

// Before the application object is made, for a program that is about to embed into an X11
// window: in a Wayland session it runs on XWayland when there is one (DISPLAY is set). A
// platform chosen by name for anything but Wayland (xcb, offscreen) is left as it is.
void PreferX11ForEmbedding();

// Test double.
class FixedWindowSystem : public WindowSystemService {
public:
    FixedWindowSystem() = default;
    explicit FixedWindowSystem(bool programsPlaceWindows) : places_(programsPlaceWindows) {}
    bool ProgramsPlaceWindows() override { return places_; }
    void Set(bool programsPlaceWindows) { places_ = programsPlaceWindows; }

private:
    bool places_ = true;
};

// Installs a FixedWindowSystem for the lifetime of the object and restores the previous one.
using ScopedFixedWindowSystem =
    ScopedService<WindowSystemService, FixedWindowSystem, &SetWindowSystemService>;

}  // namespace plenova::platform
