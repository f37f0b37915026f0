#include "platform/x11/x11_idle.h"

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace plenova::platform {

namespace {

class X11IdleSource : public IdleSource {
public:
    X11IdleSource(xcb_connection_t* connection, xcb_window_t root)
        : connection_(connection), root_(root) {}
    ~X11IdleSource() override { xcb_disconnect(connection_); }
    X11IdleSource(const X11IdleSource&) = delete;
    X11IdleSource& operator=(const X11IdleSource&) = delete;

    std::string Name() const override { return "MIT-SCREEN-SAVER"; }

    std::optional<std::chrono::milliseconds> IdleTime(std::chrono::milliseconds) override {
        if (xcb_connection_has_error(connection_) != 0) return std::nullopt;
        xcb_screensaver_query_info_reply_t* reply = xcb_screensaver_query_info_reply(
            connection_, xcb_screensaver_query_info(connection_, root_), nullptr);
        if (reply == nullptr) return std::nullopt;
        const std::chrono::milliseconds idle(reply->ms_since_user_input);
        std::free(reply);
        return idle;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_;
};

}  // namespace

std::unique_ptr<IdleSource> OpenX11IdleSource(std::string& why) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        why = "no X display (DISPLAY is not set)";
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        why = std::string("the X display ") + display + " cannot be opened";
        return nullptr;
    }
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection, &xcb_screensaver_id);
    if (extension == nullptr || extension->present == 0) {
        xcb_disconnect(connection);
        why = "the X server has no MIT-SCREEN-SAVER extension";
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        why = "the X display has no such screen";
        return nullptr;
    }
    return std::make_unique<X11IdleSource>(connection, screens.data->root);
}

}  // namespace plenova::platform
