// The server-kept picture on X11: a connection of its own (its expose reports never mix with
// Qt's), the picture in a pixmap a margin larger than the window, and the changed rectangles sent
// with MIT-SHM where the server shares memory with us, else with PutImage.
//
// A move of the picture moves only where the window's view into the pixmap starts; each frame
// the view is copied to the window with one forward copy. Moving the pixels instead (within the
// window, or through a second pixmap) costs the server a backwards copy, several times slower,
// or two copies. Once the view reaches the margin, the picture is copied to the middle of a
// second pixmap, one copy in every margin's worth of frames. A pixmap is never covered or
// exposed: an exposed window is repaired from it at once, without a new frame.
#include "platform/server_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace plenova::platform {
namespace {

template <typename T>
struct Freed {
    T* p = nullptr;
    ~Freed() { std::free(p); }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

xcb_connection_t* QtConnection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// True when pixels of this visual and depth are 0x00RRGGBB words, as the client's picture holds.
bool IsXrgbVisual(const xcb_setup_t* setup, xcb_visualid_t visual, std::uint8_t depth) {
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    bool fourBytes = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == depth) fourBytes = f.data->bits_per_pixel == 32;
    }
    if (!fourBytes) return false;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s)) {
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d)) {
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
                if (v.data->visual_id != visual) continue;
                return v.data->red_mask == 0xFF0000u && v.data->green_mask == 0xFF00u &&
                       v.data->blue_mask == 0xFFu;
            }
        }
    }
    return false;
}

class XcbServerImage : public ServerImage {
public:
    ~XcbServerImage() override {
        notifier_.reset();
        if (connection_ == nullptr) return;
        if (syncPending_) std::free(xcb_translate_coordinates_reply(connection_, sync_, nullptr));
        WaitForServer();
        ReleasePixels();
        for (xcb_pixmap_t p : picture_) {
            if (p != 0) xcb_free_pixmap(connection_, p);
        }
        if (gc_ != 0) xcb_free_gc(connection_, gc_);
        if (cover_) xcb_destroy_window(connection_, window_);
        xcb_disconnect(connection_);
    }

    bool Open(std::uint64_t window, std::int32_t width, std::int32_t height, bool cover) {
        if (window == 0 || window > 0xFFFFFFFFu || width <= 0 || height <= 0) return false;
        xcb_connection_t* qt = QtConnection();
        if (qt == nullptr) return false;
        // Our window goes inside one that Qt has only just asked for: Qt's requests reach the
        // server first.
        xcb_flush(qt);
        std::free(xcb_get_input_focus_reply(qt, xcb_get_input_focus(qt), nullptr));

        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_)) return false;
        const auto target = static_cast<xcb_window_t>(window);
        Freed<xcb_get_geometry_reply_t> geometry{
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, target), nullptr)};
        Freed<xcb_get_window_attributes_reply_t> attributes{xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, target), nullptr)};
        if (!geometry || !attributes) return false;
        depth_ = geometry->depth;
        root_ = geometry->root;
        parent_ = target;
        Freed<xcb_get_geometry_reply_t> rootGeometry{
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr)};
        if (!rootGeometry) return false;
        rootWidth_ = rootGeometry->width;
        rootHeight_ = rootGeometry->height;
        if ((depth_ != 24 && depth_ != 32) ||
            !IsXrgbVisual(xcb_get_setup(connection_), attributes->visual, depth_)) {
            return false;
        }
        cover_ = cover;
        const std::uint32_t events = XCB_EVENT_MASK_EXPOSURE;
        if (cover) {
            // No background: an exposed part keeps what it showed until the frame is sent,
            // instead of flashing a colour. Keyboard and pointer events go on to Qt's window.
            window_ = xcb_generate_id(connection_);
            const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, XCB_GRAVITY_NORTH_WEST, events};
            xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, target, 0, 0, 1, 1, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                              XCB_CW_BACK_PIXMAP | XCB_CW_BIT_GRAVITY | XCB_CW_EVENT_MASK, values);
            xcb_map_window(connection_, window_);
        } else {
            window_ = target;
            xcb_change_window_attributes(connection_, window_, XCB_CW_EVENT_MASK, &events);
        }
        gc_ = xcb_generate_id(connection_);
        const std::uint32_t exposures = 0;
        xcb_create_gc(connection_, gc_, window_, XCB_GC_GRAPHICS_EXPOSURES, &exposures);

        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection_, &xcb_shm_id);
        if (shm != nullptr && shm->present) {
            Freed<xcb_shm_query_version_reply_t> version{xcb_shm_query_version_reply(
                connection_, xcb_shm_query_version(connection_), nullptr)};
            if (version) completionEvent_ = shm->first_event + XCB_SHM_COMPLETION;
        }
        maxRequestBytes_ = std::size_t{xcb_get_maximum_request_length(connection_)} * 4;
        if (!MakePixels(width, height)) return false;
        Freed<xcb_translate_coordinates_reply_t> origin{xcb_translate_coordinates_reply(
            connection_, xcb_translate_coordinates(connection_, parent_, root_, 0, 0), nullptr)};
        if (!origin) return false;
        PlaceView(origin->dst_x, origin->dst_y);

        notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_),
                                                      QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            ReadEvents();
            if (exposed_ && !lost_) {
                ShowPicture();
                xcb_flush(connection_);
            }
            if (lost_ && onLost_) onLost_();
        });
        xcb_flush(connection_);
        return !xcb_connection_has_error(connection_);
    }

    gdi::XrgbView Pixels() override { return {pixels_, width_, height_, width_}; }

    bool BeginFrame() override {
        // The server is done with the last frame before the next one goes: a slow server
        // shows frames late, never a growing queue of them.
        if (syncPending_) {
            // The reply also says where the window is now: a window that moved shows another
            // part of itself on the screen.
            Freed<xcb_translate_coordinates_reply_t> origin{
                xcb_translate_coordinates_reply(connection_, sync_, nullptr)};
            syncPending_ = false;
            if (origin && (origin->dst_x != originX_ || origin->dst_y != originY_)) {
                PlaceView(origin->dst_x, origin->dst_y);
            }
        }
        ReadEvents();
        WaitForServer();
        const bool whole = lost_ || broken_;
        lost_ = false;
        return whole;
    }

    bool Send(std::int32_t dx, std::int32_t dy, std::span<const ImageRect> rects) override {
        if (broken_ || xcb_connection_has_error(connection_)) {
            broken_ = true;
            return false;
        }
        const ImageRect v = view_;
        if (picture_[current_] == 0) {
            sync_ = xcb_translate_coordinates(connection_, parent_, root_, 0, 0);
            syncPending_ = true;
            xcb_flush(connection_);
            return true;
        }
        if (dx != 0 || dy != 0) MoveView(dx, dy);
        std::size_t last = rects.size();
        while (last > 0 && InView(rects[last - 1]).width == 0) --last;
        for (std::size_t i = 0; i < last; ++i) {
            const ImageRect r = InView(rects[i]);
            if (r.width == 0) continue;
            if (shmSegment_ != 0) {
                // The last rectangle asks for word of completion: the pixels may be written
                // again once it came.
                const bool report = i + 1 == last;
                xcb_shm_put_image(
                    connection_, picture_[current_], gc_, static_cast<std::uint16_t>(width_),
                    static_cast<std::uint16_t>(height_), static_cast<std::uint16_t>(r.x),
                    static_cast<std::uint16_t>(r.y), static_cast<std::uint16_t>(r.width),
                    static_cast<std::uint16_t>(r.height),
                    static_cast<std::int16_t>(r.x - v.x + viewX_),
                    static_cast<std::int16_t>(r.y - v.y + viewY_), depth_,
                    XCB_IMAGE_FORMAT_Z_PIXMAP, report ? 1 : 0, shmSegment_, 0);
                if (report) awaitingServer_ = true;
            } else {
                PutRect(r);
            }
        }
        ShowPicture();
        exposed_ = false;
        sync_ = xcb_translate_coordinates(connection_, parent_, root_, 0, 0);
        syncPending_ = true;
        xcb_flush(connection_);
        return true;
    }

    ImageRect Visible() override { return view_; }

    bool Resize(std::int32_t width, std::int32_t height) override {
        if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return false;
        if (width == width_ && height == height_) return true;
        WaitForServer();
        ReleasePixels();
        lost_ = true;
        if (!MakePixels(width, height)) return false;
        PlaceView(originX_, originY_);
        return true;
    }

    void SetOnLost(std::function<void()> onLost) override { onLost_ = std::move(onLost); }
    bool SharedMemory() const override { return shmSegment_ != 0; }

private:
    // The part of `r` that the server's picture shows, in the window's coordinates.
    ImageRect InView(const ImageRect& r) const {
        const std::int32_t x0 = std::max(r.x, view_.x), y0 = std::max(r.y, view_.y);
        const std::int32_t x1 = std::min(r.x + r.width, view_.x + view_.width);
        const std::int32_t y1 = std::min(r.y + r.height, view_.y + view_.height);
        if (x1 <= x0 || y1 <= y0) return {};
        return {x0, y0, x1 - x0, y1 - y0};
    }

    // A window of ours shows its picture only where it lies on the screen: what lies beyond
    // the screen's edges (the saver's window overhangs them) could not be moved on the server,
    // and would make every frame whole. Another program's window is drawn on as it is.
    void PlaceView(std::int32_t originX, std::int32_t originY) {
        originX_ = originX;
        originY_ = originY;
        lost_ = true;
        if (!cover_) {
            view_ = {0, 0, width_, height_};
            MakePictures();
            return;
        }
        const std::int32_t x0 = std::clamp(-originX, 0, width_);
        const std::int32_t y0 = std::clamp(-originY, 0, height_);
        const std::int32_t x1 = std::clamp(rootWidth_ - originX, x0, width_);
        const std::int32_t y1 = std::clamp(rootHeight_ - originY, y0, height_);
        view_ = {x0, y0, x1 - x0, y1 - y0};
        MakePictures();
        const std::uint32_t place[] = {static_cast<std::uint32_t>(x0),
                                       static_cast<std::uint32_t>(y0),
                                       static_cast<std::uint32_t>(std::max(1, view_.width)),
                                       static_cast<std::uint32_t>(std::max(1, view_.height))};
        xcb_configure_window(connection_, window_,
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             place);
    }

    void Handle(xcb_generic_event_t* event) {
        const std::uint8_t type = event->response_type & 0x7F;
        if (completionEvent_ != 0 && type == completionEvent_) {
            awaitingServer_ = false;
        } else if (type == XCB_EXPOSE) {
            exposed_ = true;
        } else if (type == 0) {
            // An error of ours (the window went away under us): whole frames from now on.
            lost_ = true;
        }
    }

    void ReadEvents() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            Handle(event);
            std::free(event);
        }
        if (xcb_connection_has_error(connection_)) broken_ = true;
    }

    // Until the server has read the shared pixels of the last frame.
    void WaitForServer() {
        while (awaitingServer_ && !broken_) {
            xcb_generic_event_t* event = xcb_wait_for_event(connection_);
            if (event == nullptr) {
                broken_ = true;
                break;
            }
            Handle(event);
            std::free(event);
        }
        awaitingServer_ = false;
    }

    bool MakePixels(std::int32_t width, std::int32_t height) {
        width_ = width;
        height_ = height;
        const std::size_t bytes =
            static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
        if (completionEvent_ != 0) {
            const int id = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
            void* address = id >= 0 ? ::shmat(id, nullptr, 0) : reinterpret_cast<void*>(-1);
            if (address != reinterpret_cast<void*>(-1)) {
                const xcb_shm_seg_t segment = xcb_generate_id(connection_);
                xcb_generic_error_t* error = xcb_request_check(
                    connection_, xcb_shm_attach_checked(connection_, segment,
                                                        static_cast<std::uint32_t>(id), 0));
                if (error == nullptr) {
                    // Its pages made at once, in one call: the first frame writes every one of
                    // them, and a fault per page costs that frame far more.
                    ::madvise(address, bytes, MADV_POPULATE_WRITE);
                    shmSegment_ = segment;
                    shmAddress_ = address;
                    pixels_ = static_cast<std::uint32_t*>(address);
                } else {
                    // A server on another machine: no shared memory from here on.
                    std::free(error);
                    completionEvent_ = 0;
                    ::shmdt(address);
                }
            }
            // Gone once both sides detach.
            if (id >= 0) ::shmctl(id, IPC_RMID, nullptr);
        }
        if (pixels_ == nullptr) {
            local_.assign(bytes / 4, 0);
            pixels_ = local_.data();
        }
        return true;
    }

    void ReleasePixels() {
        if (shmSegment_ != 0) {
            xcb_shm_detach(connection_, shmSegment_);
            xcb_flush(connection_);
            ::shmdt(shmAddress_);
            shmSegment_ = 0;
            shmAddress_ = nullptr;
        }
        local_.clear();
        pixels_ = nullptr;
    }

    xcb_pixmap_t NewPicture(std::int32_t w, std::int32_t h) {
        const xcb_pixmap_t p = xcb_generate_id(connection_);
        xcb_create_pixmap(connection_, depth_, p, window_, static_cast<std::uint16_t>(w),
                          static_cast<std::uint16_t>(h));
        return p;
    }

    // Two pixmaps of the view's size and a margin on every side; the view starts in the middle.
    void MakePictures() {
        const std::int32_t w = view_.width + 2 * kMargin, h = view_.height + 2 * kMargin;
        viewX_ = viewY_ = kMargin;
        lost_ = true;
        if (picture_[current_] != 0 && pictureWidth_ == w && pictureHeight_ == h) return;
        for (xcb_pixmap_t& p : picture_) {
            if (p != 0) xcb_free_pixmap(connection_, p);
            p = 0;
        }
        if (view_.width <= 0 || view_.height <= 0 || w > 32767 || h > 32767) return;
        // The second pixmap only once the view first reaches the margin: the first frame then
        // waits for one pixmap, not two.
        current_ = 0;
        picture_[0] = NewPicture(w, h);
        pictureWidth_ = w;
        pictureHeight_ = h;
    }

    // The picture moved by (dx, dy): the view into the pixmap moves the other way. Beyond the
    // margin, what stays of the picture goes to the middle of the other pixmap (what does not
    // is the strip that the caller sends).
    void MoveView(std::int32_t dx, std::int32_t dy) {
        std::int32_t x = viewX_ - dx, y = viewY_ - dy;
        if (x < 0 || y < 0 || x > 2 * kMargin || y > 2 * kMargin) {
            const std::int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
            const std::int32_t x1 = std::min(x + view_.width, pictureWidth_);
            const std::int32_t y1 = std::min(y + view_.height, pictureHeight_);
            if (picture_[1 - current_] == 0) {
                picture_[1 - current_] = NewPicture(pictureWidth_, pictureHeight_);
            }
            if (x1 > x0 && y1 > y0) {
                xcb_copy_area(connection_, picture_[current_], picture_[1 - current_], gc_,
                              static_cast<std::int16_t>(x0), static_cast<std::int16_t>(y0),
                              static_cast<std::int16_t>(x0 - x + kMargin),
                              static_cast<std::int16_t>(y0 - y + kMargin),
                              static_cast<std::uint16_t>(x1 - x0),
                              static_cast<std::uint16_t>(y1 - y0));
            }
            current_ = 1 - current_;
            x = y = kMargin;
        }
        viewX_ = x;
        viewY_ = y;
    }

    void ShowPicture() {
        if (picture_[current_] == 0) return;
        xcb_copy_area(connection_, picture_[current_], window_, gc_,
                      static_cast<std::int16_t>(viewX_), static_cast<std::int16_t>(viewY_), 0, 0,
                      static_cast<std::uint16_t>(view_.width),
                      static_cast<std::uint16_t>(view_.height));
    }

    // PutImage takes whole rows of the rectangle, as many as one request holds.
    void PutRect(const ImageRect& r) {
        const std::size_t rowBytes = static_cast<std::size_t>(r.width) * 4;
        const std::size_t room = maxRequestBytes_ > 64 ? maxRequestBytes_ - 64 : rowBytes;
        const std::int32_t rowsPerRequest =
            std::max<std::int32_t>(1, static_cast<std::int32_t>(room / rowBytes));
        for (std::int32_t y = r.y; y < r.y + r.height; y += rowsPerRequest) {
            const std::int32_t rows = std::min(rowsPerRequest, r.y + r.height - y);
            scratch_.resize(static_cast<std::size_t>(r.width) * static_cast<std::size_t>(rows));
            for (std::int32_t k = 0; k < rows; ++k) {
                std::memcpy(scratch_.data() + static_cast<std::size_t>(k) * r.width,
                            pixels_ + static_cast<std::ptrdiff_t>(y + k) * width_ + r.x, rowBytes);
            }
            xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, picture_[current_], gc_,
                          static_cast<std::uint16_t>(r.width), static_cast<std::uint16_t>(rows),
                          static_cast<std::int16_t>(r.x - view_.x + viewX_),
                          static_cast<std::int16_t>(y - view_.y + viewY_), 0, depth_,
                          static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(rows)),
                          reinterpret_cast<const std::uint8_t*>(scratch_.data()));
        }
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_window_t parent_ = 0;
    xcb_window_t root_ = 0;
    std::int32_t rootWidth_ = 0;
    std::int32_t rootHeight_ = 0;
    std::int32_t originX_ = 0;
    std::int32_t originY_ = 0;
    ImageRect view_;
    static constexpr std::int32_t kMargin = 64;
    xcb_pixmap_t picture_[2] = {0, 0};
    int current_ = 0;
    std::int32_t pictureWidth_ = 0;
    std::int32_t pictureHeight_ = 0;
    std::int32_t viewX_ = kMargin;
    std::int32_t viewY_ = kMargin;
    bool exposed_ = false;
    xcb_gcontext_t gc_ = 0;
    bool cover_ = false;
    std::uint8_t depth_ = 0;
    std::uint8_t completionEvent_ = 0;
    std::size_t maxRequestBytes_ = 0;
    xcb_shm_seg_t shmSegment_ = 0;
    void* shmAddress_ = nullptr;
    std::vector<std::uint32_t> local_;
    std::vector<std::uint32_t> scratch_;
    std::uint32_t* pixels_ = nullptr;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    bool lost_ = true;
    bool broken_ = false;
    bool awaitingServer_ = false;
    xcb_translate_coordinates_cookie_t sync_{};
    bool syncPending_ = false;
    std::function<void()> onLost_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

std::unique_ptr<ServerImage> OpenServerImage(std::uint64_t window, std::int32_t width,
                                             std::int32_t height, bool cover) {
    auto image = std::make_unique<XcbServerImage>();
    if (!image->Open(window, width, height, cover)) return nullptr;
    return image;
}

}  // namespace plenova::platform
