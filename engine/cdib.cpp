#include "engine/cdib.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"

namespace plenova::engine {
namespace {

Failure<DibReadError> Refused(DibError code, std::string message) {
    return Failure{DibReadError{code, std::move(message)}};
}

// Reads until `buffer` is full or the file ends; returns the count read.
std::int64_t ReadFull(platform::FileHandle& file, std::span<std::uint8_t> buffer) {
    std::int64_t total = 0;
    while (total < static_cast<std::int64_t>(buffer.size())) {
        auto rest = std::as_writable_bytes(buffer.subspan(static_cast<std::size_t>(total)));
        std::int64_t got = file.Read(rest);
        if (got <= 0) break;
        total += got;
    }
    return total;
}

template <typename T>
std::span<std::uint8_t> BytesOf(T& object) {
    return {reinterpret_cast<std::uint8_t*>(&object), sizeof(T)};
}

void WriteAll(platform::FileHandle& file, std::span<const std::uint8_t> bytes) {
    file.Write(std::as_bytes(bytes));
}

// Colour-table entry (blue in the low byte) <-> palette colour word (red in the low byte);
// the top byte becomes 0 either way.
std::uint32_t SwapRedBlue(std::uint32_t w) {
    return (w & 0xFF) << 16 | (w & 0xFF00) | (w >> 16 & 0xFF);
}

std::uint32_t TableWord(const gdi::RgbQuad& q) {
    std::uint32_t w;
    std::memcpy(&w, &q, 4);
    return w;
}

}  // namespace

CDib::CDib() : pal_(std::make_shared<CPalette>()) {}

static CPalette& PaletteOf(const std::shared_ptr<CPalette>& pal) {
    if (!pal) throw MissingObjectError();
    return *pal;
}

Int16 CDib::ColorsUsed() const {
    if (info_.bmiHeader.biClrUsed != 0) return ToInt16(info_.bmiHeader.biClrUsed);
    switch (info_.bmiHeader.biBitCount) {
        case 1: return 2;
        case 4: return 16;
        case 8: return 256;
        default: return 0;
    }
}

Int32 CDib::ByteWidth() const {
    const Int32 bits = Mul32(info_.bmiHeader.biBitCount, info_.bmiHeader.biWidth);
    return (Add32(bits, 31) & ~Int32{31}) / 8;
}

Int32 CDib::BitmapSize() const { return Mul32(info_.bmiHeader.biHeight, ByteWidth()); }

std::size_t CDib::PixelOffset(Int16 x, Int16 Y) const {
    const Int32 offset = Add32(Mul32(Y, ByteWidth()), Mul16(x, info_.bmiHeader.biBitCount) / 8);
    if (offset < 0 || offset >= static_cast<std::int64_t>(bytes_.size())) {
        throw SubscriptOutOfRangeError();
    }
    return static_cast<std::size_t>(offset);
}

std::uint8_t CDib::Pixel(Int16 x, Int16 Y) const { return bytes_[PixelOffset(x, Y)]; }
void CDib::set_Pixel(Int16 x, Int16 Y, std::uint8_t val) { bytes_[PixelOffset(x, Y)] = val; }

void CDib::RedimBytes(Int32 l) {
    if (l < 0) throw SubscriptOutOfRangeError();
    bytes_.assign(static_cast<std::size_t>(l) + 1, 0);
}

DibReadResult CDib::ReadBmp(const std::string& filename) {
    auto file = platform::FileHandle::OpenRead(filename);
    if (!file) return Refused(DibError::OpenFailed, "Could not open " + filename + ".");
    // The handle closes the file on every way out, errors included.
    if (ReadFull(*file, header_) < static_cast<std::int64_t>(header_.size())) {
        return Refused(DibError::ShortFileHeader, "Could not read the file header.");
    }
    std::int64_t consumed = static_cast<std::int64_t>(header_.size());
    if (auto info = ReadInfo(*file, consumed); !info) return info;
    return ReadBits(*file, consumed);
}

DibReadResult CDib::ReadInfo(platform::FileHandle& file, std::int64_t& consumed) {
    if (ReadFull(file, BytesOf(info_.bmiHeader)) < 40) {
        return Refused(DibError::ShortInfoHeader, "Could not read bminfo.");
    }
    consumed += 40;
    if (auto valid = ValidateHeader(); !valid) return valid;
    const Int16 n = ColorsUsed();
    const Int16 byteCount = Mul16(n, 4);
    if (BitsPerPixel() >= 9) return {};
    auto table = BytesOf(info_.bmiColors).first(static_cast<std::size_t>(byteCount));
    if (ReadFull(file, table) < byteCount) {
        return Refused(DibError::ShortColorTable, "Could not read color table.");
    }
    consumed += byteCount;
    std::vector<ColorWord> colors(static_cast<std::size_t>(n));
    for (Int16 i = 0; i < n; ++i) colors[i] = SwapRedBlue(TableWord(info_.bmiColors[i]));
    PaletteOf(pal_).SetRgbColors(0, n, colors);
    return {};
}

DibReadResult CDib::ValidateHeader() {
    const std::uint16_t type = static_cast<std::uint16_t>(header_[0] | header_[1] << 8);
    if (type != kBitmapFileType) {
        return Refused(DibError::BadFileType, "Invalid value for bfType.");
    }
    const gdi::BitmapInfoHeader& h = info_.bmiHeader;
    const int bits = h.biBitCount;
    const bool depthOk = bits == 1 || bits == 4 || bits == 8 || bits == 24;
    const bool compressionOk = h.biCompression == gdi::BI_RGB ||
                               (h.biCompression == gdi::BI_RLE4 && bits == 4) ||
                               (h.biCompression == gdi::BI_RLE8 && bits == 8);
    if (h.biSize != 40 || h.biPlanes != 1 || !depthOk || !compressionOk) {
        return Refused(DibError::BadInfoHeader, "Invalid bmiHeader.");
    }
    // Beyond the classic checks: shapes this reader cannot hold. A top-down file would need a
    // negative pixel count, and the colour table has room for 257 entries.
    if (h.biHeight < 0) {
        return Refused(DibError::TopDown, "Top-down bitmaps are not supported.");
    }
    if (h.biWidth < 0) return Refused(DibError::BadWidth, "Invalid value for biWidth.");
    if (static_cast<std::uint32_t>(h.biClrUsed) > 256) {
        return Refused(DibError::TooManyColors, "Too many colors in the color table.");
    }
    return {};
}

DibReadResult CDib::ReadBits(platform::FileHandle& file, std::int64_t consumed) {
    const Int32 size = BitmapSize();
    // A header may claim more pixels than the file holds: compare before making the array.
    const std::int64_t length = file.Length();
    if (length < 0 || size > length - consumed) {
        return Refused(DibError::ShortPixels, "Could not read all bytes.");
    }
    RedimBytes(size);
    if (ReadFull(file, std::span(bytes_).first(static_cast<std::size_t>(size))) < size) {
        return Refused(DibError::ShortPixels, "Could not read all bytes.");
    }
    return {};
}

std::shared_ptr<CDib> CDib::Clone() const {
    auto copy = std::make_shared<CDib>();
    copy->set_pal(pal_);
    copy->RedimBytes(UpperIndex() + 1);
    std::copy(bytes_.begin(), bytes_.end(), copy->bytes_.begin());
    copy->info_ = info_;
    copy->header_ = header_;
    return copy;
}

void CDib::StoreInFile(platform::FileHandle& hfile) const {
    std::array<ColorWord, 256> colors{};
    PaletteOf(pal_).GetRgbColors(0, 256, colors);
    WriteAll(hfile, header_);
    WriteAll(hfile, {reinterpret_cast<const std::uint8_t*>(&info_), sizeof(info_)});
    WriteAll(hfile, {reinterpret_cast<const std::uint8_t*>(colors.data()), sizeof(colors)});
    WriteAll(hfile, bytes_);
}

bool CDib::ReadFromFile(platform::FileHandle& hfile) {
    std::array<ColorWord, 256> colors{};
    auto colorBytes = std::span(reinterpret_cast<std::uint8_t*>(colors.data()), sizeof(colors));
    if (ReadFull(hfile, header_) < 14 || ReadFull(hfile, BytesOf(info_)) < 1068 ||
        ReadFull(hfile, colorBytes) < 1024) {
        return false;
    }
    // biSizeImage may be 0 for uncompressed pictures; the size then follows from the shape.
    Int32 size = info_.bmiHeader.biSizeImage;
    if (size == 0 && info_.bmiHeader.biCompression == gdi::BI_RGB) size = BitmapSize();
    if (size < 0) throw SubscriptOutOfRangeError();
    // The pixel array grows with what arrives, so a claimed size is never allocated unread.
    const std::size_t wanted = static_cast<std::size_t>(size) + 1;
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    ByteArray bytes;
    bool complete = true;
    while (bytes.size() < wanted) {
        const std::size_t have = bytes.size();
        const std::size_t chunk = std::min(kChunk, wanted - have);
        bytes.resize(have + chunk);
        const std::int64_t got = ReadFull(hfile, std::span(bytes).subspan(have, chunk));
        if (got < static_cast<std::int64_t>(chunk)) {
            bytes.resize(have + static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
            complete = false;
            break;
        }
    }
    bytes_ = std::move(bytes);
    PaletteOf(pal_).SetRgbColors(10, 236, colors);
    return complete;
}

void CDib::SetPaletteUsage(Int16 wUsage) {
    const Int16 n = ColorsUsed();
    if (n < 0) throw SubscriptOutOfRangeError();
    if (wUsage != 1) {
        std::vector<ColorWord> colors(static_cast<std::size_t>(n) + 1);
        PaletteOf(pal_).GetRgbColors(0, n, colors);
        if (n > static_cast<Int16>(info_.bmiColors.size())) throw SubscriptOutOfRangeError();
        for (Int16 i = 0; i < n; ++i) {
            const std::uint32_t w = SwapRedBlue(colors[i]);
            info_.bmiColors[i] = {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
                                  static_cast<std::uint8_t>(w >> 16), 0};
        }
    } else {
        auto table = BytesOf(info_.bmiColors);
        if (std::size_t{2} * n > table.size()) throw SubscriptOutOfRangeError();
        for (Int16 i = 0; i < n; ++i) {
            const std::uint16_t index = static_cast<std::uint16_t>(i);
            std::memcpy(table.data() + 2 * i, &index, 2);
        }
    }
}

}  // namespace plenova::engine
