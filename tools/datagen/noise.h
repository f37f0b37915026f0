// Gradient noise that repeats after a whole number of lattice cells in each direction, so
// that pictures built from it tile without a seam.
#pragma once

#include "color.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace plenova::datagen {

class PeriodicNoise {
public:
    PeriodicNoise(int periodX, int periodY, std::uint32_t seed) : px_(periodX), py_(periodY), grads_(periodX * periodY * 2) {
        for (int y = 0; y < py_; ++y)
            for (int x = 0; x < px_; ++x) {
                const double angle = Hash3(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), seed) *
                                     (6.283185307179586 / 4294967296.0);
                grads_[(y * px_ + x) * 2] = static_cast<float>(std::cos(angle));
                grads_[(y * px_ + x) * 2 + 1] = static_cast<float>(std::sin(angle));
            }
    }

    // u, v in lattice cells; the result lies roughly in [-0.7, 0.7].
    float At(float u, float v) const {
        const float fu = std::floor(u), fv = std::floor(v);
        const int x0 = Wrap(static_cast<int>(fu), px_), y0 = Wrap(static_cast<int>(fv), py_);
        const int x1 = x0 + 1 == px_ ? 0 : x0 + 1, y1 = y0 + 1 == py_ ? 0 : y0 + 1;
        const float tx = u - fu, ty = v - fv;
        const float n00 = Dot(x0, y0, tx, ty), n10 = Dot(x1, y0, tx - 1, ty);
        const float n01 = Dot(x0, y1, tx, ty - 1), n11 = Dot(x1, y1, tx - 1, ty - 1);
        const float sx = Fade(tx), sy = Fade(ty);
        const float a = n00 + (n10 - n00) * sx, b = n01 + (n11 - n01) * sx;
        return a + (b - a) * sy;
    }

private:
    // Nearly every lookup already lies within the period; the divisions are only for the rest.
    static int Wrap(int i, int n) {
        if (static_cast<unsigned>(i) < static_cast<unsigned>(n)) return i;
        return ((i % n) + n) % n;
    }
    static float Fade(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }
    float Dot(int x, int y, float dx, float dy) const {
        const float* g = &grads_[(y * px_ + x) * 2];
        return g[0] * dx + g[1] * dy;
    }
    int px_, py_;
    std::vector<float> grads_;
};

// Sum of octaves, each twice the frequency of the one before, all repeating over the same
// picture. x, y are fractions [0, 1) of the picture; the base lattice has periodX x periodY
// cells.
class PeriodicFbm {
public:
    PeriodicFbm(int periodX, int periodY, int octaves, std::uint32_t seed, float gain = 0.5f) {
        float amp = 1, norm = 0;
        for (int o = 0; o < octaves; ++o) {
            layers_.push_back({PeriodicNoise(periodX << o, periodY << o, seed * 131u + static_cast<std::uint32_t>(o) * 7919u),
                               static_cast<float>(periodX << o), static_cast<float>(periodY << o), amp});
            norm += amp;
            amp *= gain;
        }
        for (Layer& layer : layers_) layer.amp /= norm;
    }
    float At(float x, float y) const {
        float sum = 0;
        for (const Layer& layer : layers_) sum += layer.amp * layer.noise.At(x * layer.scaleX, y * layer.scaleY);
        return sum;
    }

private:
    struct Layer {
        PeriodicNoise noise;
        float scaleX, scaleY, amp;
    };
    std::vector<Layer> layers_;
};

} // namespace plenova::datagen
