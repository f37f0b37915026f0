// CDib: a device-independent bitmap held in memory (file header, bitmap-info block with its
// 257-entry colour table, pixel bytes and a palette), read from an uncompressed BMP file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/checked.h"
#include "base/result.h"
#include "engine/cpalette.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/large_memory.h"

namespace plenova::engine {

// Why a picture file was not read. The engine only reports; whoever asked decides whether and
// how the user hears of it.
enum class DibError {
    OpenFailed,       // the file cannot be opened
    ShortFileHeader,  // fewer than 14 bytes
    ShortInfoHeader,  // fewer than 40 bytes of info header
    BadFileType,      // bfType is not "BM"
    BadInfoHeader,    // size, planes, depth or compression not of a readable file
    TopDown,          // negative height: rows stored top-down
    BadWidth,         // negative width
    TooManyColors,    // more than 256 colours declared
    ShortColorTable,  // the colour table ends early
    ShortPixels,      // fewer pixel bytes than height x row size
    NotEightBits,     // a surface takes 8-bit pictures only
    NoSurface,        // the off-screen surface could not be made
};

struct DibReadError {
    DibError code;
    std::string message;  // one sentence in English, ending with a full stop
};

using DibReadResult = Result<void, DibReadError>;

// The 14-byte BMP file header as stored: bfType, bfSize, bfReserved1, bfReserved2, bfOffBits.
using FileHeader = std::array<std::uint8_t, 14>;
inline constexpr std::uint16_t kBitmapFileType = 19778;  // "BM"

class CDib {
public:
    CDib();
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;

    Int32 BitsPerPixel() const { return info_.bmiHeader.biBitCount; }
    Int16 ColorsUsed() const;
    void set_ColorsUsed(Int16 n) { info_.bmiHeader.biClrUsed = n; }
    Int16 Width() const { return ToInt16(info_.bmiHeader.biWidth); }
    Int16 Height() const { return ToInt16(info_.bmiHeader.biHeight); }
    Int32 ByteWidth() const;
    Int32 BitmapSize() const;
    const std::shared_ptr<CPalette>& pal() const { return pal_; }
    void set_pal(std::shared_ptr<CPalette> pal) { pal_ = std::move(pal); }
    std::uint8_t Pixel(Int16 x, Int16 Y) const;
    void set_Pixel(Int16 x, Int16 Y, std::uint8_t val);

    // The stored pixel bytes (empty before the array was first made), the info block and the
    // file header, in place.
    std::span<std::uint8_t> BytesAsLong() { return bytes_; }
    std::span<const std::uint8_t> BytesAsLong() const { return bytes_; }
    gdi::BitmapInfo& InfoAsLong() { return info_; }
    const gdi::BitmapInfo& InfoAsLong() const { return info_; }
    FileHeader& HeaderAsLong() { return header_; }
    const FileHeader& HeaderAsLong() const { return header_; }

    // Upper index of the pixel array (-1 while it has never been made).
    Int32 UpperIndex() const { return static_cast<Int32>(bytes_.size()) - 1; }

    // Reads an uncompressed (or run-length flagged) BMP file: file header, info header, colour
    // table (up to 8 bits per pixel, then also into the palette) and height x ByteWidth pixel
    // bytes. The file is closed on every way out.
    DibReadResult ReadBmp(const std::string& filename);
    void RedimBytes(Int32 l);
    std::shared_ptr<CDib> Clone() const;
    // The private dump layout: file header, info block, 256 palette colour words, pixel bytes.
    void StoreInFile(platform::FileHandle& hfile) const;
    // Reads the dump layout back; false when the file ended early (what arrived is kept).
    bool ReadFromFile(platform::FileHandle& hfile);
    void SetPaletteUsage(Int16 wUsage);

private:
    DibReadResult ReadInfo(platform::FileHandle& file, std::int64_t& consumed);
    DibReadResult ValidateHeader();
    DibReadResult ReadBits(platform::FileHandle& file, std::int64_t consumed);
    std::size_t PixelOffset(Int16 x, Int16 Y) const;

    FileHeader header_{};
    gdi::BitmapInfo info_{};
    // A picture of several megabytes is read into memory that takes few page faults to fill.
    using ByteArray = std::vector<std::uint8_t, platform::LargeAllocator<std::uint8_t>>;
    ByteArray bytes_;
    std::shared_ptr<CPalette> pal_;
};

}  // namespace plenova::engine
