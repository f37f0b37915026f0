#include "engine/cwingsprite.h"

#include "base/errors.h"

namespace plenova::engine {

CWinGSprite::CWinGSprite() : frames_(2) {}

const std::shared_ptr<CDib>& CWinGSprite::Frame(Int16 n) const {
    if (n < 0 || static_cast<std::size_t>(n) >= frames_.size()) throw SubscriptOutOfRangeError();
    return frames_[static_cast<std::size_t>(n)];
}

const std::shared_ptr<CDib>& CWinGSprite::CurrentFrameRef() const {
    const auto& frame = Frame(frameNumber_);
    if (!frame) throw MissingObjectError();
    return frame;
}

const CDib& CWinGSprite::CurrentFrame() const { return *CurrentFrameRef(); }

void CWinGSprite::AddFrame(std::shared_ptr<CDib> f, Int16 n) {
    if (n < 0) throw SubscriptOutOfRangeError();
    if (static_cast<std::size_t>(n) >= frames_.size()) frames_.resize(static_cast<std::size_t>(n) + 1);
    frames_[static_cast<std::size_t>(n)] = std::move(f);
}

void CWinGSprite::DelFrame(Int16 n) {
    if (n < 0 || static_cast<std::size_t>(n) >= frames_.size()) throw SubscriptOutOfRangeError();
    frames_[static_cast<std::size_t>(n)].reset();
}

void CWinGSprite::AdvanceFrame() {
    frameNumber_ = Add16(frameNumber_, fv_);
    if (frameNumber_ > lastFrame_) {
        frameNumber_ = firstFrame_;
    } else if (frameNumber_ < firstFrame_) {
        frameNumber_ = lastFrame_;
    }
}

void CWinGSprite::Tick() {
    AdvanceFrame();
    Step();
    CheckBounds();
    Draw();
}

void CWinGSprite::Draw() {
    if (!canvas_) throw MissingObjectError();
    const Int16 x = RoundToInt16(position_.x());
    const Int16 y = RoundToInt16(position_.Y());
    canvas_->TransparentDIBlt(x, y, CurrentFrameRef(), 0, 0, 0, transparentColor_);
}

void CWinGSprite::Bounds(Int16 l, Int16 t, Int16 w, Int16 h) {
    const Int16 right = Add16(l, w);
    const Int16 bottom = Add16(t, h);
    left_ = l;
    top_ = t;
    right_ = right;
    bottom_ = bottom;
}

void CWinGSprite::CheckBounds() {
    if (!sink_) return;
    // The receiver may move the sprite or change its frame: every test reads afresh. The sink
    // is held for the call, so a receiver that replaces it cannot pull it away mid-call.
    const std::shared_ptr<EventSink> sink = sink_;
    if (position_.Y() + static_cast<float>(Height()) < static_cast<float>(bottom_)) {
        sink->FireEvent(idDone_, "BOTTOM");
    }
    if (position_.Y() > static_cast<float>(top_)) sink->FireEvent(idDone_, "TOP");
    if (position_.x() + static_cast<float>(Width()) > static_cast<float>(right_)) {
        sink->FireEvent(idDone_, "RIGHT");
    }
    if (position_.x() < static_cast<float>(left_)) sink->FireEvent(idDone_, "LEFT");
}

}  // namespace plenova::engine
