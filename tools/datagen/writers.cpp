#include "writers.h"

#include <sndfile.h>

#include <cstdio>
#include <stdexcept>

namespace plenova::datagen {

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutInfoHeader(std::vector<std::uint8_t>& out, int width, int height, int bits, std::uint32_t imageSize,
                   std::uint32_t colorsUsed) {
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(bits));
    Put32(out, 0); // uncompressed
    Put32(out, imageSize);
    Put32(out, 3780); // 96 dots per inch
    Put32(out, 3780);
    Put32(out, colorsUsed);
    Put32(out, 0);
}

void PutColor(std::vector<std::uint8_t>& out, const Rgb8& c) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
}

int RowBytes(int bits, int width) { return (bits * width + 31) / 32 * 4; }

} // namespace

std::vector<std::uint8_t> EncodeBmp8(const IndexedImage& image, const PaletteColors& palette) {
    const int stride = RowBytes(8, image.width);
    const std::uint32_t imageSize = static_cast<std::uint32_t>(stride) * static_cast<std::uint32_t>(image.height);
    const std::uint32_t offset = 14 + 40 + 256 * 4;
    std::vector<std::uint8_t> out;
    out.reserve(offset + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageSize);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, offset);
    PutInfoHeader(out, image.width, image.height, 8, imageSize, 256);
    for (const Rgb8& c : palette) PutColor(out, c);
    // Bottom-up: the last picture row is stored first.
    for (int y = image.height - 1; y >= 0; --y) {
        const auto row = image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width;
        out.insert(out.end(), row, row + image.width);
        out.insert(out.end(), static_cast<std::size_t>(stride - image.width), 0);
    }
    return out;
}

std::vector<std::uint8_t> EncodeIco(const std::vector<IconImage>& images) {
    std::vector<std::vector<std::uint8_t>> bodies;
    for (const IconImage& icon : images) {
        std::vector<std::uint8_t> body;
        const int n = icon.size;
        const int xorStride = RowBytes(icon.bitsPerPixel, n);
        const int andStride = RowBytes(1, n);
        const auto imageSize = static_cast<std::uint32_t>((xorStride + andStride) * n);
        // Icons store the colour and mask images stacked, hence the doubled height.
        PutInfoHeader(body, n, 2 * n, icon.bitsPerPixel, imageSize, 0);
        const std::size_t tableSize = std::size_t{1} << icon.bitsPerPixel;
        for (std::size_t i = 0; i < tableSize; ++i) PutColor(body, i < icon.colors.size() ? icon.colors[i] : Rgb8{});
        for (int y = n - 1; y >= 0; --y) {
            std::vector<std::uint8_t> row(static_cast<std::size_t>(xorStride), 0);
            for (int x = 0; x < n; ++x) {
                const std::uint8_t v = icon.shown[y * n + x] ? icon.pixels[y * n + x] : 0;
                if (icon.bitsPerPixel == 8)
                    row[x] = v;
                else
                    row[x / 2] |= static_cast<std::uint8_t>((x % 2 == 0) ? (v & 15) << 4 : (v & 15));
            }
            body.insert(body.end(), row.begin(), row.end());
        }
        for (int y = n - 1; y >= 0; --y) {
            std::vector<std::uint8_t> row(static_cast<std::size_t>(andStride), 0);
            for (int x = 0; x < n; ++x)
                if (!icon.shown[y * n + x]) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            body.insert(body.end(), row.begin(), row.end());
        }
        bodies.push_back(std::move(body));
    }
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& icon = images[i];
        out.push_back(static_cast<std::uint8_t>(icon.size));
        out.push_back(static_cast<std::uint8_t>(icon.size));
        out.push_back(static_cast<std::uint8_t>(icon.bitsPerPixel == 4 ? 16 : 0));
        out.push_back(0);
        Put16(out, 1);
        Put16(out, static_cast<std::uint32_t>(icon.bitsPerPixel));
        Put32(out, static_cast<std::uint32_t>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(bodies[i].size());
    }
    for (const auto& body : bodies) out.insert(out.end(), body.begin(), body.end());
    return out;
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) throw std::runtime_error("cannot create " + path);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

void WriteWav(const std::string& path, const std::vector<std::int16_t>& interleaved, int channels, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot create " + path + ": " + sf_strerror(nullptr));
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channels));
    const sf_count_t written = sf_writef_short(file, interleaved.data(), frames);
    const int closed = sf_close(file);
    if (written != frames || closed != 0) throw std::runtime_error("cannot write " + path);
}

} // namespace plenova::datagen
