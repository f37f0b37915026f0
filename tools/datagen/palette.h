// The scene palette and the mapping of true-colour pictures onto it.
#pragma once

#include "color.h"

#include <array>
#include <cstdint>
#include <vector>

namespace plenova::datagen {

struct Rgb8 {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb8&) const = default;
};

using PaletteColors = std::array<Rgb8, 256>;

// A picture prepared for quantisation: colours on the 0..255 scale, one opacity flag per pixel
// (transparent pixels get the transparent index), rows top first.
struct ArtPixels {
    int width = 0;
    int height = 0;
    std::vector<Rgbf> rgb;
    std::vector<std::uint8_t> opaque;
    // How much this picture's pixels count when the palette is chosen (small figures count more
    // per pixel than the large background, so that they get their own shades).
    double weight = 1.0;
};

struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // rows top first
    std::uint8_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Weighted colour histogram in 6-bit-per-channel cells, keeping each cell's mean colour.
class ColorHistogram {
public:
    ColorHistogram();
    void Add(const ArtPixels& art);
    struct Item {
        Rgbf rgb;
        Lab lab;
        double weight;
    };
    std::vector<Item> Items() const;

private:
    std::vector<double> sums_; // r, g, b, weight per cell
};

// Builds the scene palette: entries 0-9 and 246-254 hold the usual static colours of a
// palettised display, 255 is white (the transparent key, never drawn), and the entries 10-245
// are a fixed grey ramp plus colours fitted to the histogram (median cut, then k-means in
// Oklab).
PaletteColors BuildScenePalette(const ColorHistogram& histogram);

// The usual twenty static colours of a palettised display, first ten then last ten.
const std::array<Rgb8, 20>& StaticColors();

// Nearest-colour search over the scene entries 10-245 in Oklab, cached per 24-bit colour.
class Quantizer {
public:
    explicit Quantizer(const PaletteColors& palette);
    std::uint8_t Nearest(int r, int g, int b);
    // Ordered dither between the nearest entry and the entry on the other side of the colour,
    // so that smooth gradients keep their shape without error diffusion (which would not tile).
    std::uint8_t Dither(const Rgbf& c, int x, int y);
    IndexedImage Map(const ArtPixels& art, bool dither);
    const PaletteColors& Colors() const { return palette_; }

private:
    PaletteColors palette_;
    std::array<Lab, 256> labs_{};
    std::vector<std::uint8_t> cache_; // 0 = not computed yet (0 is never a scene index)
};

} // namespace plenova::datagen
