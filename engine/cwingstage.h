// CWinGStage: the scrolling background. Render fills the whole buffer surface with the part of
// the background that starts at the offset (bx, by), wrapping round the background's right and
// far edges so that it tiles endlessly as the offset moves.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "base/checked.h"
#include "engine/cwingbitmap.h"

namespace plenova::engine {

// One block copy of Render: byte offsets into the buffer and the background, width in bytes and
// number of rows.
struct RenderPiece {
    Int32 dstOffset = 0;
    Int32 srcOffset = 0;
    Int16 width = 0;
    Int16 rows = 0;
    friend bool operator==(const RenderPiece&, const RenderPiece&) = default;
};

// A rectangle of the buffer in visual pixels: x to the right, y downwards from the top-left
// corner, whichever order the rows are stored in.
struct StageRect {
    Int32 x = 0;
    Int32 y = 0;
    Int32 width = 0;
    Int32 height = 0;
    friend bool operator==(const StageRect&, const StageRect&) = default;
};

// What the last frame changed in the buffer against the frame before it. Unless `whole`, the
// previous frame's picture moved by (dx, dy) equals this frame everywhere outside `rects`.
struct StageDamage {
    bool whole = true;
    Int32 dx = 0;
    Int32 dy = 0;
    std::span<const StageRect> rects;
};

class CWinGStage {
public:
    const std::shared_ptr<CWinGBitmap>& Background() const { return background_; }
    void set_Background(std::shared_ptr<CWinGBitmap> bground) { background_ = std::move(bground); }
    const std::shared_ptr<CWinGBitmap>& Buffer() const { return buffer_; }
    void set_Buffer(std::shared_ptr<CWinGBitmap> buf) { buffer_ = std::move(buf); }
    Int16 bx() const { return bx_; }
    void set_bx(Int16 v) { bx_ = v; }
    Int16 by() const { return by_; }
    void set_by(Int16 v) { by_ = v; }

    // Brings the offsets back within the background and fills the buffer. A buffer no larger
    // than the background takes at most four block copies; a larger one is tiled.
    void Render();

    // A rectangle drawn over the background since the last Render (a sprite), for Damage.
    void NoteDrawn(const StageRect& rect);
    // What changed since the Render before the last one: the background's move, the strip it
    // uncovered, and where things were drawn then and now. Valid until the next call.
    StageDamage Damage();
    // Renders so far; a frame whose damage is used must follow the shown one directly.
    std::uint64_t RenderCount() const { return renders_; }

    // The first pieces of the last Render, in copy order (for inspection; no allocation).
    static constexpr std::size_t kRecordedPieces = 16;
    std::size_t LastPieceCount() const { return pieceCount_; }
    const RenderPiece& LastPiece(std::size_t i) const { return pieces_.at(i); }

private:
    std::shared_ptr<CWinGBitmap> background_;
    std::shared_ptr<CWinGBitmap> buffer_;
    Int16 bx_ = 0;
    Int16 by_ = 0;
    std::array<RenderPiece, kRecordedPieces> pieces_{};
    std::size_t pieceCount_ = 0;

    // What Damage compares: the last two renders' geometry and the rectangles drawn over each.
    struct Shape {
        const CWinGBitmap* background = nullptr;
        const CWinGBitmap* buffer = nullptr;
        Int32 W = 0, H = 0, w = 0, h = 0, bottomUp = 0;
        friend bool operator==(const Shape&, const Shape&) = default;
    };
    static constexpr std::size_t kDrawnRects = 32;
    struct Drawn {
        std::array<StageRect, kDrawnRects> rects{};
        std::size_t count = 0;
        bool overflow = false;
    };
    Shape shape_, previousShape_;
    Int32 renderedBx_ = 0, renderedBy_ = 0, previousBx_ = 0, previousBy_ = 0;
    Drawn drawn_, previousDrawn_;
    std::uint64_t renders_ = 0;
    std::array<StageRect, 2 + 2 * kDrawnRects> damage_{};
};

}  // namespace plenova::engine
