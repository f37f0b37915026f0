#include "engine/cwingstage.h"

#include <cstdlib>

#include "base/errors.h"
#include "engine/wing.h"

namespace plenova::engine {
namespace {

// One correction brings an offset that moved by less than a size back; an offset further out
// is reduced fully, which gives the same picture. `size` itself stays (it shows like 0).
Int16 Normalise(Int16 offset, Int16 size) {
    if (offset > size) {
        offset = Sub16(offset, size);
    } else if (offset < 0) {
        offset = Add16(offset, size);
    }
    if (size > 0 && (offset > size || offset < 0)) {
        offset = static_cast<Int16>(((offset % size) + size) % size);
    }
    return offset;
}

// Segments along one axis: from `start` in a source of `size`, `length` long in total. The
// first runs to the source's end; the rest start at 0 and are at most `size` long.
template <typename F>
void ForEachSegment(Int16 start, Int16 size, Int16 length, F&& f) {
    Int16 first = static_cast<Int16>(std::min<Int32>(Sub16(size, start), length));
    if (first < 0) first = 0;
    f(start, Int16{0}, first);
    Int16 done = first;
    while (done < length && size > 0) {
        const Int16 piece = static_cast<Int16>(std::min<Int32>(size, length - done));
        f(Int16{0}, done, piece);
        done = static_cast<Int16>(done + piece);
    }
}

const CWinGBitmap& Need(const std::shared_ptr<CWinGBitmap>& p) {
    if (!p) throw MissingObjectError();
    return *p;
}

}  // namespace

void CWinGStage::Render() {
    const CWinGBitmap& background = Need(background_);
    const CWinGBitmap& buffer = Need(buffer_);
    const Int16 W = background.Width();
    const Int16 H = static_cast<Int16>(std::abs(background.Height()));
    const Int16 w = buffer.Width();
    const Int16 h = static_cast<Int16>(std::abs(buffer.Height()));
    const Int32 S = background.ByteWidth();
    const Int32 D = buffer.ByteWidth();

    bx_ = Normalise(bx_, W);
    by_ = Normalise(by_, H);
    // The classic wrap tests, kept for their overflow behaviour.
    Add16(bx_, w);
    Add16(by_, h);

    const auto src = background.m_pSurface();
    const auto dst = buffer.m_pSurface();
    pieceCount_ = 0;
    // Rows outside, columns inside: the order of the classic four pieces.
    ForEachSegment(by_, H, h, [&](Int16 srcRow, Int16 dstRow, Int16 rows) {
        const Int32 srcRowOffset = Mul32(srcRow, S);
        const Int32 dstRowOffset = Mul32(dstRow, D);
        ForEachSegment(bx_, W, w, [&](Int16 srcCol, Int16 dstCol, Int16 width) {
            const RenderPiece piece{Add32(dstRowOffset, dstCol), Add32(srcRowOffset, srcCol),
                                    width, rows};
            if (pieceCount_ < pieces_.size()) pieces_[pieceCount_] = piece;
            ++pieceCount_;
            wing::CopyDIBits(dst, piece.dstOffset, src, piece.srcOffset, piece.width,
                             piece.rows, D, S);
        });
    });
    pieceCount_ = std::min(pieceCount_, pieces_.size());
}

}  // namespace plenova::engine
