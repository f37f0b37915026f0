#include "engine/cwingstage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>

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

// Copies the pieces of one band row by row. Each piece is checked whole first; one that does not
// fit its surfaces is left out, as the block copy would leave it.
void CopyBand(std::span<std::uint8_t> dst, std::span<const std::uint8_t> src,
              std::span<RenderPiece> pieces, Int32 D, Int32 S) {
    std::array<bool, 8> fits{};
    Int16 rows = 0;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        const RenderPiece& piece = pieces[p];
        fits[p] = piece.rows > 0 && piece.width > 0 &&
                  wing::CopyDIBitsFits(dst.size(), piece.dstOffset, src.size(), piece.srcOffset,
                                       piece.width, piece.rows, D, S);
        rows = std::max(rows, piece.rows);
    }
    std::uint8_t* d = dst.data();
    const std::uint8_t* s = src.data();
    // A stage whose background is its own buffer copies within one surface.
    const bool overlap = d < s + src.size() && s < d + dst.size();
    for (Int32 r = 0; r < rows; ++r) {
        for (std::size_t p = 0; p < pieces.size(); ++p) {
            if (!fits[p]) continue;
            const RenderPiece& piece = pieces[p];
            std::uint8_t* to = d + piece.dstOffset + std::int64_t{r} * D;
            const std::uint8_t* from = s + piece.srcOffset + std::int64_t{r} * S;
            if (overlap) {
                std::memmove(to, from, static_cast<std::size_t>(piece.width));
            } else {
                std::memcpy(to, from, static_cast<std::size_t>(piece.width));
            }
        }
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
    previousShape_ = shape_;
    previousBx_ = renderedBx_;
    previousBy_ = renderedBy_;
    previousDrawn_ = drawn_;
    drawn_ = {};
    shape_ = {&background, &buffer, W, H, w, h, buffer.Height() > 0 ? 1 : 0};
    renderedBx_ = bx_;
    renderedBy_ = by_;
    ++renders_;
    // The classic wrap tests, kept for their overflow behaviour.
    Add16(bx_, w);
    Add16(by_, h);

    const auto src = background.m_pSurface();
    const auto dst = buffer.m_pSurface();
    pieceCount_ = 0;
    // Rows outside, columns inside: the order of the classic four pieces. The pieces of one
    // band of rows cover disjoint parts of the buffer, so they are copied row by row across the
    // band: the buffer is then written front to back, and each background row read once.
    constexpr std::size_t kBandPieces = 8;
    std::array<RenderPiece, kBandPieces> band{};
    ForEachSegment(by_, H, h, [&](Int16 srcRow, Int16 dstRow, Int16 rows) {
        const Int32 srcRowOffset = Mul32(srcRow, S);
        const Int32 dstRowOffset = Mul32(dstRow, D);
        std::size_t inBand = 0;
        bool interleave = true;
        ForEachSegment(bx_, W, w, [&](Int16 srcCol, Int16 dstCol, Int16 width) {
            const RenderPiece piece{Add32(dstRowOffset, dstCol), Add32(srcRowOffset, srcCol),
                                    width, rows};
            if (pieceCount_ < pieces_.size()) pieces_[pieceCount_] = piece;
            ++pieceCount_;
            if (inBand < band.size()) {
                band[inBand++] = piece;
            } else {
                interleave = false;
            }
        });
        if (interleave) {
            CopyBand(dst, src, std::span(band).first(inBand), D, S);
        } else {
            // A buffer many times wider than the background: piece by piece.
            ForEachSegment(bx_, W, w, [&](Int16 srcCol, Int16 dstCol, Int16 width) {
                wing::CopyDIBits(dst, dstRowOffset + dstCol, src, srcRowOffset + srcCol, width,
                                 rows, D, S);
            });
        }
    });
    pieceCount_ = std::min(pieceCount_, pieces_.size());
}

void CWinGStage::NoteDrawn(const StageRect& rect) {
    if (drawn_.count == drawn_.rects.size()) {
        drawn_.overflow = true;
        return;
    }
    drawn_.rects[drawn_.count++] = rect;
}

namespace {

// The move of an offset that tiles with period `size`, as the smallest step either way.
Int32 WrappedStep(Int32 now, Int32 before, Int32 size) {
    if (size <= 0) return 0;
    Int32 step = (now - before) % size;
    if (step > size / 2) {
        step -= size;
    } else if (step < -size / 2) {
        step += size;
    }
    return step;
}

StageRect Clip(StageRect r, Int32 w, Int32 h) {
    const Int32 x0 = std::max<Int32>(r.x, 0), y0 = std::max<Int32>(r.y, 0);
    const Int32 x1 = std::min<Int32>(r.x + r.width, w), y1 = std::min<Int32>(r.y + r.height, h);
    if (x1 <= x0 || y1 <= y0) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

bool Empty(const StageRect& r) { return r.width <= 0 || r.height <= 0; }

// True when the two rectangles overlap or touch, so that one box covers both for little more.
bool Near(const StageRect& a, const StageRect& b) {
    return a.x <= b.x + b.width && b.x <= a.x + a.width && a.y <= b.y + b.height &&
           b.y <= a.y + a.height;
}

StageRect Box(const StageRect& a, const StageRect& b) {
    const Int32 x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const Int32 x1 = std::max(a.x + a.width, b.x + b.width);
    const Int32 y1 = std::max(a.y + a.height, b.y + b.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

StageDamage CWinGStage::Damage() {
    StageDamage damage;
    if (renders_ < 2 || !(shape_ == previousShape_) || drawn_.overflow ||
        previousDrawn_.overflow) {
        return damage;
    }
    const Int32 w = shape_.w, h = shape_.h;
    // Column j shows background column bx + j: the picture moves against the offset. Rows
    // follow the stored order, which runs upwards in a bottom-up buffer.
    const Int32 dx = -WrappedStep(renderedBx_, previousBx_, shape_.W);
    const Int32 sy = WrappedStep(renderedBy_, previousBy_, shape_.H);
    const Int32 dy = shape_.bottomUp ? sy : -sy;
    if (std::abs(dx) >= w || std::abs(dy) >= h) return damage;
    std::size_t n = 0;
    const auto add = [&](const StageRect& r) {
        if (!Empty(r)) damage_[n++] = r;
    };
    if (dx > 0) add({0, 0, dx, h});
    if (dx < 0) add({w + dx, 0, -dx, h});
    if (dy > 0) add(Clip({0, 0, w, dy}, w, h));
    if (dy < 0) add(Clip({0, h + dy, w, -dy}, w, h));
    // Each drawing's old place (moved with the background) and its new one; a sprite that moved
    // a little is sent as one box round both.
    const std::size_t pairs = std::max(drawn_.count, previousDrawn_.count);
    for (std::size_t i = 0; i < pairs; ++i) {
        StageRect before{}, now{};
        if (i < previousDrawn_.count) {
            const StageRect& r = previousDrawn_.rects[i];
            before = Clip({r.x + dx, r.y + dy, r.width, r.height}, w, h);
        }
        if (i < drawn_.count) now = Clip(drawn_.rects[i], w, h);
        if (!Empty(before) && !Empty(now) && Near(before, now)) {
            add(Box(before, now));
        } else {
            add(before);
            add(now);
        }
    }
    damage.whole = false;
    damage.dx = dx;
    damage.dy = dy;
    damage.rects = std::span<const StageRect>(damage_.data(), n);
    return damage;
}

}  // namespace plenova::engine
