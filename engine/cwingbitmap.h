// CWinGBitmap: an 8-bit off-screen surface whose pixel memory the program addresses directly,
// created in the row order the off-screen service recommends.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/checked.h"
#include "engine/cdib.h"
#include "engine/cpalette.h"
#include "platform/gdi.h"

namespace plenova::engine {

class CWinGDC;

class CWinGBitmap {
public:
    CWinGBitmap() = default;
    // Deletes the surface.
    ~CWinGBitmap();
    CWinGBitmap(const CWinGBitmap&) = delete;
    CWinGBitmap& operator=(const CWinGBitmap&) = delete;

    // The pixel memory: ByteWidth x abs(Height) bytes in the recorded row order. Every drawing
    // call checks the span against the header, so a replaced buffer cannot be overrun.
    std::span<std::uint8_t> m_pSurface() const { return surface_; }
    void set_m_pSurface(std::span<std::uint8_t> surface) { surface_ = surface; }
    gdi::HBITMAP hBM() const { return hBM_; }
    // +1 when stored rows run bottom-up, -1 top-down, 0 before creation.
    Int16 Orientation() const { return orientation_; }
    Int16 Width() const { return ToInt16(info_.bmiHeader.biWidth); }
    Int16 Height() const { return ToInt16(info_.bmiHeader.biHeight); }
    Int32 ByteWidth() const;
    const gdi::BitmapInfo& Info() const { return info_; }
    const std::shared_ptr<CPalette>& pal() const { return pal_; }
    void set_pal(std::shared_ptr<CPalette> aPal) { pal_ = std::move(aPal); }

    // Creates the surface; returns its handle, 0 on failure.
    gdi::HBITMAP Create(const std::shared_ptr<CWinGDC>& wingDC, Int16 Width, Int16 Height);
    // Loads an 8-bit BMP file into a new surface, upright in either row order. A file the
    // picture reader refuses gives that reader's error.
    DibReadResult ReadBmp(const std::shared_ptr<CWinGDC>& wingDC, const std::string& filename);
    // Draws the picture with `transcolor` (0 to 255) transparent; its y axis runs downwards.
    void TransparentDIBlt(Int16 dstx, Int16 dsty, const std::shared_ptr<CDib>& wbm, Int16 srcx,
                          Int16 srcy, Int16 mode, Int16 transcolor);

private:
    void DeleteSurface();

    std::span<std::uint8_t> surface_;
    gdi::HBITMAP hBM_ = 0;
    Int16 orientation_ = 0;
    gdi::BitmapInfo info_{};
    std::shared_ptr<CPalette> pal_;
};

}  // namespace plenova::engine
