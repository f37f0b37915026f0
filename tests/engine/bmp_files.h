// Test helpers: BMP files built byte by byte, and a temporary folder that removes itself.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace plenova::engine::testing {

using plenova::testing::ReadBytes;
using plenova::testing::WriteBytes;

struct BmpLayout {
    std::int32_t width = 3;
    std::int32_t height = 2;
    std::int16_t bits = 8;
    std::int32_t compression = 0;
    std::int32_t clrUsed = 0;
    std::int32_t size = 40;
    std::int16_t planes = 1;
    std::uint16_t type = 19778;
    std::int32_t sizeImage = 0;
    // Colour-table entries to write (blue, green, red, 0 words); when empty, n entries with
    // table entry i = i * 0x010203 & 0xFFFFFF where n is what the reader expects.
    std::vector<std::uint32_t> table;
    // Pixel bytes; when empty, byte k of the pixel block is k & 0xFF.
    std::vector<std::uint8_t> pixels;
    std::int64_t truncateTo = -1;  // cut the file to this many bytes
};

inline std::int64_t ExpectedColors(const BmpLayout& s) {
    if (s.clrUsed != 0) return s.clrUsed;
    return s.bits == 1 ? 2 : s.bits == 4 ? 16 : s.bits == 8 ? 256 : 0;
}

inline std::int64_t RowSize(const BmpLayout& s) { return ((s.bits * s.width + 31) / 32) * 4; }

inline void Put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
inline void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

inline std::vector<std::uint8_t> MakeBmp(const BmpLayout& s) {
    std::vector<std::uint8_t> v;
    std::vector<std::uint32_t> table = s.table;
    if (table.empty() && s.bits <= 8) {
        for (std::int64_t i = 0; i < ExpectedColors(s); ++i) {
            table.push_back(static_cast<std::uint32_t>(i * 0x010203) & 0xFFFFFF);
        }
    }
    std::vector<std::uint8_t> pixels = s.pixels;
    if (pixels.empty()) {
        std::int64_t n = RowSize(s) * std::abs(s.height);
        for (std::int64_t k = 0; k < n; ++k) pixels.push_back(static_cast<std::uint8_t>(k));
    }
    const std::uint32_t offBits = static_cast<std::uint32_t>(54 + 4 * table.size());
    Put16(v, s.type);
    Put32(v, static_cast<std::uint32_t>(offBits + pixels.size()));
    Put16(v, 0);
    Put16(v, 0);
    Put32(v, offBits);
    Put32(v, static_cast<std::uint32_t>(s.size));
    Put32(v, static_cast<std::uint32_t>(s.width));
    Put32(v, static_cast<std::uint32_t>(s.height));
    Put16(v, static_cast<std::uint16_t>(s.planes));
    Put16(v, static_cast<std::uint16_t>(s.bits));
    Put32(v, static_cast<std::uint32_t>(s.compression));
    Put32(v, static_cast<std::uint32_t>(s.sizeImage));
    Put32(v, 2835);
    Put32(v, 2835);
    Put32(v, static_cast<std::uint32_t>(s.clrUsed));
    Put32(v, 0);
    for (std::uint32_t t : table) Put32(v, t);
    v.insert(v.end(), pixels.begin(), pixels.end());
    if (s.truncateTo >= 0 && s.truncateTo < static_cast<std::int64_t>(v.size())) {
        v.resize(static_cast<std::size_t>(s.truncateTo));
    }
    return v;
}

// A temporary folder for BMP files; Write puts a file there and gives its path.
class TempDir : public plenova::testing::TempFolder {
public:
    TempDir() : TempFolder("plenova-engine") {}
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        WriteBytes(Path() / name, bytes);
        return (Path() / name).string();
    }
};

}  // namespace plenova::engine::testing
