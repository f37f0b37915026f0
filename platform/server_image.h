// A window whose picture the display server keeps. A frame is shown by moving the picture the
// server already holds and sending only the rectangles that changed, so a scrolling scene costs
// the program a few small rectangles instead of expanding and sending a whole frame.
// Where the display cannot do this (no X11 display: Wayland, the offscreen platform in tests, a
// window of an unsuitable pixel format) OpenServerImage gives null and the caller shows whole
// frames as before.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/gdi.h"

namespace plenova::platform {

// A rectangle of the window in pixels, x to the right and y downwards from its top-left corner.
struct ImageRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

class ServerImage {
public:
    virtual ~ServerImage() = default;
    // The client's copy of the picture, the window's size, top row first: the pixels that Send
    // takes. Written only between BeginFrame and Send; valid until the next Resize.
    virtual gdi::XrgbView Pixels() = 0;
    // Starts a frame: waits until the server has taken the previous frame's pixels, and reads
    // what the server reported meanwhile. True when the server's picture must be renewed whole
    // (the first frame, a new size, a new place on the screen, the connection broke). A part of
    // the window that was covered and exposed again is repaired from the server's picture.
    virtual bool BeginFrame() = 0;
    // The part of the window that the server's picture shows (the part on the screen). A move
    // uncovers a strip at its edges, which the caller sends with the rest.
    virtual ImageRect Visible() = 0;
    // Moves the server's picture by (dx, dy) (what was at (x, y) goes to (x + dx, y + dy)),
    // then sends the rectangles of Pixels(), as far as they are visible. False when nothing
    // could be sent.
    virtual bool Send(std::int32_t dx, std::int32_t dy, std::span<const ImageRect> rects) = 0;
    // A new window size; the next frame must be whole. False when the picture cannot follow.
    virtual bool Resize(std::int32_t width, std::int32_t height) = 0;
    // Called from the event loop when the server's picture was lost (an error of the display),
    // so the caller can send a whole frame at once instead of at its next frame.
    virtual void SetOnLost(std::function<void()> onLost) = 0;
    // True when pixels travel through memory shared with the server.
    virtual bool SharedMemory() const = 0;
};

// A server-kept picture over a window of this program (its native handle, on X11 a window id):
// a window of the picture's own covers it, so the toolkit's drawing of the window stays under
// it. `cover` false draws on the window itself (a window of another program, the root window).
// Null where the display offers no such picture; the caller then shows whole frames.
std::unique_ptr<ServerImage> OpenServerImage(std::uint64_t window, std::int32_t width,
                                             std::int32_t height, bool cover);

}  // namespace plenova::platform
