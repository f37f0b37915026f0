// Small colour and randomness helpers shared by the generator's painters and its quantiser.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace plenova::datagen {

// SplitMix64: a fixed, portable generator so that every build draws the same numbers.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int Int(int lo, int hiInclusive) {
        return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hiInclusive - lo + 1));
    }

private:
    std::uint64_t state_;
};

// Hash of integer lattice coordinates, used by the periodic noise.
inline std::uint32_t Hash3(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

struct Rgbf {
    float r = 0, g = 0, b = 0;
};

struct Lab {
    float L = 0, a = 0, b = 0;
};

inline float SrgbToLinear(float c) {
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

// Oklab from 8-bit sRGB: distances in it follow perceived colour differences well enough to
// pick the nearest palette entry.
inline Lab ToOklab(float r8, float g8, float b8) {
    const float r = SrgbToLinear(r8 / 255.0f);
    const float g = SrgbToLinear(g8 / 255.0f);
    const float b = SrgbToLinear(b8 / 255.0f);
    const float l = std::cbrt(0.4122214708f * r + 0.5363325363f * g + 0.0514459929f * b);
    const float m = std::cbrt(0.2119034982f * r + 0.6806995451f * g + 0.1073969566f * b);
    const float s = std::cbrt(0.0883024619f * r + 0.2817188376f * g + 0.6299787005f * b);
    return {0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s,
            1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s,
            0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s};
}

inline float LabDistance2(const Lab& p, const Lab& q) {
    const float dL = p.L - q.L, da = p.a - q.a, db = p.b - q.b;
    return dL * dL + da * da + db * db;
}

// 8 x 8 ordered-dither threshold in (0, 1); the picture sizes are multiples of 8, so the
// pattern tiles with the pictures.
inline float Bayer8(int x, int y) {
    static constexpr std::uint8_t kMatrix[8][8] = {
        {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
        {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
        {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
        {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
    return (kMatrix[y & 7][x & 7] + 0.5f) / 64.0f;
}

inline float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
inline float Smoothstep(float e0, float e1, float x) {
    const float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

} // namespace plenova::datagen
