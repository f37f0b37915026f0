#include "engine/cwingbitmap.h"

#include <cstdlib>

#include "base/errors.h"
#include "engine/cwingdc.h"
#include "engine/wing.h"

namespace plenova::engine {

CWinGBitmap::~CWinGBitmap() { DeleteSurface(); }

void CWinGBitmap::DeleteSurface() {
    if (hBM_ != 0) gdi::DeleteObject(hBM_);
    hBM_ = 0;
    surface_ = {};
}

Int32 CWinGBitmap::ByteWidth() const {
    const Int32 bits = Mul32(info_.bmiHeader.biBitCount, info_.bmiHeader.biWidth);
    return (Add32(bits, 31) & ~Int32{31}) / 8;
}

gdi::HBITMAP CWinGBitmap::Create(const std::shared_ptr<CWinGDC>& wingDC, Int16 Width,
                                 Int16 Height) {
    if (!wingDC) throw MissingObjectError();
    gdi::BitmapInfo recommended{};
    if (!wing::WinGRecommendDIBFormat(&recommended)) return 0;
    info_.bmiHeader = recommended.bmiHeader;
    orientation_ = static_cast<Int16>(info_.bmiHeader.biHeight < 0 ? -1 : 1);
    info_.bmiHeader.biHeight = Mul32(info_.bmiHeader.biHeight, Height);
    info_.bmiHeader.biPlanes = 1;
    info_.bmiHeader.biWidth = Width;
    info_.bmiHeader.biBitCount = 8;
    info_.bmiHeader.biCompression = gdi::BI_RGB;
    info_.bmiHeader.biSizeImage = std::abs(Mul32(Width, Height));
    // A surface made before is replaced, not leaked.
    DeleteSurface();
    hBM_ = wing::WinGCreateBitmap(wingDC->hDC(), &info_, &surface_);
    pal_ = std::make_shared<CPalette>();
    info_.bmiHeader.biClrUsed = 256;
    return hBM_;
}

DibReadResult CWinGBitmap::ReadBmp(const std::shared_ptr<CWinGDC>& wingDC,
                                   const std::string& filename) {
    CDib dib;
    if (auto read = dib.ReadBmp(filename); !read) return read;
    // Only 8-bit pictures have the surface's row size.
    if (dib.BitsPerPixel() != 8) {
        return Failure{DibReadError{DibError::NotEightBits, "Only 8-bit pictures fit a surface."}};
    }
    if (Create(wingDC, dib.Width(), dib.Height()) == 0 || surface_.empty()) {
        return Failure{DibReadError{DibError::NoSurface, "Could not create the surface."}};
    }
    const Int32 rowBytes = ByteWidth();
    const Int16 height = Height();
    if (orientation_ > 0) {
        wing::CopyDIBits(surface_, 0, dib.BytesAsLong(), 0, Mul32(rowBytes, std::abs(height)), 1, 0,
                         0);
    } else {
        // The file's last stored row (its top row) becomes the surface's first row.
        wing::CopyDIBits(surface_, 0, dib.BytesAsLong(), Mul32(std::abs(height) - 1, rowBytes),
                         rowBytes, -height, rowBytes, -rowBytes);
    }
    info_.bmiHeader.biClrUsed = dib.ColorsUsed();
    if (!dib.pal()) throw MissingObjectError();
    pal_ = dib.pal()->Clone();
    return {};
}

void CWinGBitmap::TransparentDIBlt(Int16 dstx, Int16 dsty, const std::shared_ptr<CDib>& wbm,
                                   Int16 srcx, Int16 srcy, Int16 mode, Int16 transcolor) {
    if (transcolor < 0 || transcolor > 255) throw OverflowError();
    if (!wbm) throw MissingObjectError();
    wing::TransparentDIBits(info_, surface_, dstx, dsty, wbm->BytesAsLong(), wbm->InfoAsLong(),
                            srcx, srcy, mode, static_cast<std::uint8_t>(transcolor));
}

}  // namespace plenova::engine
