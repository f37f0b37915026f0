// CWinGSprite: an animated picture that moves over an off-screen surface. Each step advances
// the animation, moves the sprite, reports every edge of its bounds that it has crossed to an
// event sink, and draws it; what happens at an edge is the receiver's decision.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/checked.h"
#include "engine/cdib.h"
#include "engine/cpoint.h"
#include "engine/cwingbitmap.h"

namespace plenova::engine {

// Receiver of a sprite's edge events; called synchronously, on the caller's thread.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void FireEvent(Int16 EventNumber, const std::string& EventData) = 0;
};

// An event sink that hands each event to a function (the saver window's handler).
class FunctionEventSink : public EventSink {
public:
    using Handler = std::function<void(Int16 EventNumber, const std::string& EventData)>;
    explicit FunctionEventSink(Handler handler) : handler_(std::move(handler)) {}
    void FireEvent(Int16 EventNumber, const std::string& EventData) override {
        if (handler_) handler_(EventNumber, EventData);
    }

private:
    Handler handler_;
};

class CWinGSprite {
public:
    CWinGSprite();
    CWinGSprite(const CWinGSprite&) = delete;
    CWinGSprite& operator=(const CWinGSprite&) = delete;

    float x() const { return position_.x(); }
    float Y() const { return position_.Y(); }
    float Xv() const { return position_.Xv(); }
    float Yv() const { return position_.Yv(); }
    void set_Xv(float v) { position_.set_Xv(v); }
    void set_Yv(float v) { position_.set_Yv(v); }
    // Size of the current frame picture.
    Int16 Width() const { return CurrentFrame().Width(); }
    Int16 Height() const { return CurrentFrame().Height(); }
    const std::shared_ptr<CWinGBitmap>& canvas() const { return canvas_; }
    void set_canvas(std::shared_ptr<CWinGBitmap> aWingBitmap) { canvas_ = std::move(aWingBitmap); }
    Int16 FrameNumber() const { return frameNumber_; }
    void set_FrameNumber(Int16 n) { frameNumber_ = n; }
    Int16 FirstFrame() const { return firstFrame_; }
    void set_FirstFrame(Int16 n) { firstFrame_ = n; }
    Int16 LastFrame() const { return lastFrame_; }
    void set_LastFrame(Int16 n) { lastFrame_ = n; }
    Int16 Fv() const { return fv_; }
    void set_Fv(Int16 n) { fv_ = n; }
    std::uint8_t TransparentColor() const { return transparentColor_; }
    void set_TransparentColor(std::uint8_t c) { transparentColor_ = c; }
    void set_ID_Done(Int16 id) { idDone_ = id; }
    void set_Sink(std::shared_ptr<EventSink> anEventSink) { sink_ = std::move(anEventSink); }
    // The picture in slot n (empty when the slot is).
    const std::shared_ptr<CDib>& Frame(Int16 n) const;
    // Upper index of the frame array.
    Int16 FrameUpperIndex() const { return static_cast<Int16>(frames_.size() - 1); }

    void AddFrame(std::shared_ptr<CDib> f, Int16 n);
    void DelFrame(Int16 n);
    void AdvanceFrame();
    void Tick();
    void MoveTo(float x, float Y) { position_.MoveTo(x, Y); }
    void Step() { position_.Step(); }
    void Draw();
    void Bounds(Int16 l, Int16 t, Int16 w, Int16 h);
    void CheckBounds();

    // Bounds as set by Bounds().
    Int16 BoundLeft() const { return left_; }
    Int16 BoundTop() const { return top_; }
    Int16 BoundRight() const { return right_; }
    Int16 BoundBottom() const { return bottom_; }

private:
    const CDib& CurrentFrame() const;
    const std::shared_ptr<CDib>& CurrentFrameRef() const;

    CPoint position_;
    std::shared_ptr<CWinGBitmap> canvas_;
    std::vector<std::shared_ptr<CDib>> frames_;
    Int16 frameNumber_ = -1;
    Int16 top_ = 0;
    Int16 bottom_ = 0;
    Int16 right_ = 0;
    Int16 left_ = 0;
    std::shared_ptr<EventSink> sink_;
    Int16 idDone_ = 0;
    std::uint8_t transparentColor_ = 0;
    Int16 firstFrame_ = 0;
    Int16 lastFrame_ = 0;
    Int16 fv_ = 0;
};

}  // namespace plenova::engine
