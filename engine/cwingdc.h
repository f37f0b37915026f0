// CWinGDC: an off-screen drawing context into which one surface at a time is selected.
#pragma once

#include <memory>
#include <span>

#include "base/checked.h"
#include "engine/cpalette.h"
#include "platform/gdi.h"

namespace plenova::engine {

class CWinGBitmap;

class CWinGDC {
public:
    CWinGDC();
    // Puts the context's first bitmap back and deletes the context.
    ~CWinGDC();
    CWinGDC(const CWinGDC&) = delete;
    CWinGDC& operator=(const CWinGDC&) = delete;

    gdi::HDC hDC() const { return hDC_; }
    // Replaces colour-table entries start .. start+count-1 of the selected surface from colour
    // words in palette order.
    void SetColorTable(Int16 start, Int16 count, std::span<const ColorWord> rgbs);
    void SelectBitmap(std::shared_ptr<CWinGBitmap> wgbm);
    // The bitmap selected last.
    const std::shared_ptr<CWinGBitmap>& CurrentBitmap() const { return current_; }
    // The handle the first selection replaced (0 before it), put back on release.
    gdi::HBITMAP InitialBitmap() const { return initialBitmap_; }

private:
    gdi::HBITMAP initialBitmap_ = 0;
    gdi::HDC hDC_ = 0;
    std::shared_ptr<CWinGBitmap> current_;
};

}  // namespace plenova::engine
