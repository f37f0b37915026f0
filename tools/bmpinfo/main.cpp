// bmpinfo FILE: reads a BMP file as the saver does and prints its width, height, bits per pixel,
// colours used, bytes per row and a CRC-32 of its pixel bytes. A file the reader refuses gives
// the reader's reason on standard error, nothing on standard output and exit code 1; bad usage
// gives exit code 2.
#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <span>

#include "base/errors.h"
#include "engine/cdib.h"

namespace {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: bmpinfo FILE\n";
        return 2;
    }
    try {
        plenova::engine::CDib dib;
        if (const auto read = dib.ReadBmp(argv[1]); !read) {
            std::cerr << "bmpinfo: " << argv[1] << ": " << read.error().message << '\n';
            return 1;
        }
        const auto size = static_cast<std::size_t>(dib.BitmapSize());
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", Crc32(dib.BytesAsLong().first(size)));
        std::cout << "width: " << dib.Width() << '\n'
                  << "height: " << dib.Height() << '\n'
                  << "bits per pixel: " << dib.BitsPerPixel() << '\n'
                  << "colors used: " << dib.ColorsUsed() << '\n'
                  << "byte width: " << dib.ByteWidth() << '\n'
                  << "pixel bytes: " << size << '\n'
                  << "pixel crc32: " << crc << '\n';
        return 0;
    } catch (const plenova::RuntimeError& e) {
        std::cerr << "bmpinfo: " << argv[1] << ": " << e.what() << '\n';
        return 1;
    }
}
