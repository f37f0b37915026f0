#include "engine/cwingdc.h"

#include <array>

#include "base/errors.h"
#include "engine/cwingbitmap.h"
#include "engine/wing.h"

namespace plenova::engine {

CWinGDC::CWinGDC() : hDC_(wing::WinGCreateDC()) {}

CWinGDC::~CWinGDC() {
    if (initialBitmap_ != 0) gdi::SelectObject(hDC_, initialBitmap_);
    gdi::DeleteDC(hDC_);
}

void CWinGDC::SetColorTable(Int16 start, Int16 count, std::span<const ColorWord> rgbs) {
    std::array<gdi::RgbQuad, gdi::kColorTableEntries> table{};
    const Int16 end = Add16(start, count);  // one past the last entry
    for (Int32 i = start; i < end; ++i) {
        if (i < 0 || i >= static_cast<Int32>(table.size()) ||
            i >= static_cast<Int32>(rgbs.size())) {
            throw SubscriptOutOfRangeError();
        }
        const ColorWord w = rgbs[i];
        table[i] = {static_cast<std::uint8_t>(w >> 16), static_cast<std::uint8_t>(w >> 8),
                    static_cast<std::uint8_t>(w), 0};
    }
    if (start < 0 || start >= static_cast<Int16>(table.size())) throw SubscriptOutOfRangeError();
    const auto entries = std::span(table).subspan(static_cast<std::size_t>(start));
    wing::WinGSetDIBColorTable(hDC_, static_cast<std::uint32_t>(start),
                               static_cast<std::uint32_t>(std::max<Int16>(count, 0)), entries);
}

void CWinGDC::SelectBitmap(std::shared_ptr<CWinGBitmap> wgbm) {
    if (hDC_ != 0) {
        if (!wgbm) throw MissingObjectError();
        const gdi::Handle previous = gdi::SelectObject(hDC_, wgbm->hBM());
        if (initialBitmap_ == 0) initialBitmap_ = previous;
    }
    current_ = std::move(wgbm);
}

}  // namespace plenova::engine
