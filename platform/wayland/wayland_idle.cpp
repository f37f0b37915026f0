#include "platform/wayland/wayland_idle.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

namespace plenova::platform {

namespace {

using Clock = std::chrono::steady_clock;

// What the registry announced.
struct Globals {
    wl_seat* seat = nullptr;
    ext_idle_notifier_v1* notifier = nullptr;
    org_kde_kwin_idle* kdeIdle = nullptr;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr) {
        globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0) {
        globals->notifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    } else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0) {
        globals->kdeIdle = static_cast<org_kde_kwin_idle*>(
            wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
    }
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

class WaylandIdleSource : public IdleSource {
public:
    WaylandIdleSource(wl_display* display, wl_registry* registry, Globals globals)
        : display_(display), registry_(registry), globals_(globals) {}
    ~WaylandIdleSource() override {
        Disarm();
        if (globals_.notifier != nullptr) ext_idle_notifier_v1_destroy(globals_.notifier);
        if (globals_.kdeIdle != nullptr) org_kde_kwin_idle_destroy(globals_.kdeIdle);
        if (globals_.seat != nullptr) wl_seat_destroy(globals_.seat);
        wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
    }
    WaylandIdleSource(const WaylandIdleSource&) = delete;
    WaylandIdleSource& operator=(const WaylandIdleSource&) = delete;

    std::string Name() const override {
        return globals_.notifier != nullptr ? "ext_idle_notifier_v1" : "org_kde_kwin_idle";
    }

    std::optional<std::chrono::milliseconds> IdleTime(
        std::chrono::milliseconds threshold) override {
        // The compositor counts against one timeout per notification object: a new threshold
        // needs a new one.
        if (threshold != armedFor_) Arm(threshold);
        if (!Dispatch()) return std::nullopt;
        if (!idledAt_) return std::chrono::milliseconds(0);
        return armedFor_ +
               std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *idledAt_);
    }

private:
    static void OnIdled(void* data) { static_cast<WaylandIdleSource*>(data)->idledAt_ = Clock::now(); }
    static void OnResumed(void* data) { static_cast<WaylandIdleSource*>(data)->idledAt_.reset(); }
    static void OnExtIdled(void* data, ext_idle_notification_v1*) { OnIdled(data); }
    static void OnExtResumed(void* data, ext_idle_notification_v1*) { OnResumed(data); }
    static void OnKdeIdle(void* data, org_kde_kwin_idle_timeout*) { OnIdled(data); }
    static void OnKdeResumed(void* data, org_kde_kwin_idle_timeout*) { OnResumed(data); }

    void Arm(std::chrono::milliseconds threshold) {
        Disarm();
        armedFor_ = threshold;
        const auto timeout = static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(threshold.count(), 1, INT32_MAX));
        static const ext_idle_notification_v1_listener extListener = {OnExtIdled, OnExtResumed};
        static const org_kde_kwin_idle_timeout_listener kdeListener = {OnKdeIdle, OnKdeResumed};
        if (globals_.notifier != nullptr) {
            extNotification_ = ext_idle_notifier_v1_get_idle_notification(globals_.notifier,
                                                                           timeout, globals_.seat);
            ext_idle_notification_v1_add_listener(extNotification_, &extListener, this);
        } else {
            kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(globals_.kdeIdle, globals_.seat, timeout);
            org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &kdeListener, this);
        }
    }

    void Disarm() {
        if (extNotification_ != nullptr) ext_idle_notification_v1_destroy(extNotification_);
        if (kdeTimeout_ != nullptr) org_kde_kwin_idle_timeout_release(kdeTimeout_);
        extNotification_ = nullptr;
        kdeTimeout_ = nullptr;
        idledAt_.reset();
    }

    // Sends what is queued and handles the events that have arrived, without blocking; false
    // once the connection is broken.
    bool Dispatch() {
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) return false;
        }
        if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        if (::poll(&fd, 1, 0) > 0) {
            if (wl_display_read_events(display_) < 0) return false;
        } else {
            wl_display_cancel_read(display_);
        }
        return wl_display_dispatch_pending(display_) >= 0;
    }

    wl_display* display_;
    wl_registry* registry_;
    Globals globals_;
    ext_idle_notification_v1* extNotification_ = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
    std::chrono::milliseconds armedFor_{-1};
    std::optional<Clock::time_point> idledAt_;
};

}  // namespace

std::unique_ptr<IdleSource> OpenWaylandIdleSource(std::string& why) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') {
        why = "no Wayland compositor (WAYLAND_DISPLAY is not set)";
        return nullptr;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        why = std::string("the Wayland compositor ") + name + " cannot be reached";
        return nullptr;
    }
    wl_registry* registry = wl_display_get_registry(display);
    Globals globals;
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    if (wl_display_roundtrip(display) < 0 || globals.seat == nullptr ||
        (globals.notifier == nullptr && globals.kdeIdle == nullptr)) {
        why = globals.seat == nullptr && wl_display_get_error(display) == 0
                  ? "the Wayland compositor has no seat"
                  : "the Wayland compositor offers neither ext_idle_notifier_v1 nor "
                    "org_kde_kwin_idle";
        if (globals.notifier != nullptr) ext_idle_notifier_v1_destroy(globals.notifier);
        if (globals.kdeIdle != nullptr) org_kde_kwin_idle_destroy(globals.kdeIdle);
        if (globals.seat != nullptr) wl_seat_destroy(globals.seat);
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        return nullptr;
    }
    // Prefer the standard protocol; the KDE one is for compositors that lack it (sway 1.7).
    if (globals.notifier != nullptr && globals.kdeIdle != nullptr) {
        org_kde_kwin_idle_destroy(globals.kdeIdle);
        globals.kdeIdle = nullptr;
    }
    return std::make_unique<WaylandIdleSource>(display, registry, globals);
}

}  // namespace plenova::platform
