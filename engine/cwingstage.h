// CWinGStage: the scrolling background. Render fills the whole buffer surface with the part of
// the background that starts at the offset (bx, by), wrapping round the background's right and
// far edges so that it tiles endlessly as the offset moves.
#pragma once

#include <array>
#include <memory>

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
};

}  // namespace plenova::engine
