// Writers for the generator's output files: 8-bit BMP, Windows icon, 16-bit PCM WAV.
#pragma once

#include "palette.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plenova::datagen {

// The complete bytes of an uncompressed, bottom-up 8-bit BMP with a 256-entry colour table.
std::vector<std::uint8_t> EncodeBmp8(const IndexedImage& image, const PaletteColors& palette);

// One image of an icon: 4 or 8 bits per pixel, its own colour table, and a mask (1 = shown).
struct IconImage {
    int size = 32;
    int bitsPerPixel = 8;
    std::vector<Rgb8> colors; // 16 or 256 entries
    std::vector<std::uint8_t> pixels; // rows top first, colour indices
    std::vector<std::uint8_t> shown;  // rows top first
};
std::vector<std::uint8_t> EncodeIco(const std::vector<IconImage>& images);

// Writes the bytes; throws std::runtime_error naming the file on failure.
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Interleaved 16-bit samples as a PCM WAV file through libsndfile; throws on failure.
void WriteWav(const std::string& path, const std::vector<std::int16_t>& interleaved, int channels, int sampleRate);

} // namespace plenova::datagen
