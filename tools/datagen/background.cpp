// The deep-space background: a soft nebula from periodic noise, stars of many sizes splatted
// with wrap-around, and distant galaxies. Everything is periodic over the picture, so the
// endless scroll never shows a seam. The look was tuned on a 2048 x 1280 sky; the picture is
// larger, so clouds keep their size in pixels (more cells of noise) and the stars their density
// (more stars), and a screen of any size sees the same kind of sky.
#include "art.h"
#include "assets/asset_names.h"
#include "noise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

namespace plenova::datagen {

namespace {

constexpr int W = assets::kBackgroundWidth;
constexpr int H = assets::kBackgroundHeight;
// The sky the look was tuned on, and how many of it the picture holds.
constexpr int kTunedW = 2048, kTunedH = 1280;
constexpr double kAreaScale = static_cast<double>(W) * H / (static_cast<double>(kTunedW) * kTunedH);

// Noise cells across the picture for `tuned` cells across the tuned sky: whole cells, so the
// noise still repeats with the picture.
constexpr int CellsX(int tuned) { return std::max(1, static_cast<int>(tuned * static_cast<double>(W) / kTunedW + 0.5)); }
constexpr int CellsY(int tuned) { return std::max(1, static_cast<int>(tuned * static_cast<double>(H) / kTunedH + 0.5)); }
int Scaled(int tunedCount) { return static_cast<int>(std::lround(tunedCount * kAreaScale)); }

struct Linear {
    std::vector<Rgbf> px = std::vector<Rgbf>(static_cast<std::size_t>(W) * H);
    Rgbf& At(int x, int y) {
        x = ((x % W) + W) % W;
        y = ((y % H) + H) % H;
        return px[static_cast<std::size_t>(y) * W + x];
    }
};

// Calls paintRow(y) for every row of the picture, the rows shared out among threads. Only for
// rows that depend on nothing but their own place: the result is then the same however many
// threads there are.
template <class PaintRow>
void ForEachRow(const PaintRow& paintRow, int rowCount = H) {
    const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    auto rows = [&](int first) {
        for (int y = first; y < rowCount; y += threads) paintRow(y);
    };
    std::vector<std::jthread> workers;
    for (int t = 1; t < threads; ++t) workers.emplace_back(rows, t);
    rows(0);
}

// Adds a round soft dot, wrapping round the picture's edges.
void Splat(Linear& img, float cx, float cy, float sigma, float bright, Rgbf color) {
    const int reach = static_cast<int>(std::ceil(sigma * 3.2f)) + 1;
    const int x0 = static_cast<int>(std::floor(cx)), y0 = static_cast<int>(std::floor(cy));
    const float inv = 1.0f / (2 * sigma * sigma);
    for (int y = y0 - reach; y <= y0 + reach; ++y)
        for (int x = x0 - reach; x <= x0 + reach; ++x) {
            const float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
            const float v = bright * std::exp(-(dx * dx + dy * dy) * inv);
            if (v < 1e-4f) continue;
            Rgbf& p = img.At(x, y);
            p.r += v * color.r;
            p.g += v * color.g;
            p.b += v * color.b;
        }
}

// Four thin rays of a bright star (the cross seen through a telescope).
void Spikes(Linear& img, float cx, float cy, float length, float bright, Rgbf color) {
    const int reach = static_cast<int>(length * 4);
    for (int d = -reach; d <= reach; ++d) {
        const float fall = bright * std::exp(-std::abs(static_cast<float>(d)) / length) * 0.5f;
        for (int w = -1; w <= 1; ++w) {
            const float across = std::exp(-static_cast<float>(w * w) * 1.6f);
            const float v = fall * across;
            Rgbf& a = img.At(static_cast<int>(std::floor(cx)) + d, static_cast<int>(std::floor(cy)) + w);
            a.r += v * color.r;
            a.g += v * color.g;
            a.b += v * color.b;
            Rgbf& b = img.At(static_cast<int>(std::floor(cx)) + w, static_cast<int>(std::floor(cy)) + d);
            b.r += v * color.r;
            b.g += v * color.g;
            b.b += v * color.b;
        }
    }
}

Rgbf StarColor(Rng& rng) {
    const double t = rng.Uniform();
    if (t < 0.30) return {0.70f, 0.80f, 1.00f}; // blue-white
    if (t < 0.70) return {1.00f, 1.00f, 1.00f};
    if (t < 0.88) return {1.00f, 0.92f, 0.75f}; // yellowish
    return {1.00f, 0.75f, 0.55f};               // orange
}

Rgbf Mix(Rgbf a, Rgbf b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

// Fields that change slowly across the sky (features tens of pixels wide and more), sampled
// every kStep pixels and interpolated in between: far fewer noise lookups than at every pixel,
// and no visible difference. The samples repeat with the picture, so the fields still tile.
class SmoothFields {
public:
    static constexpr int kStep = 4;
    static constexpr int kCount = 4;
    static_assert(W % kStep == 0 && H % kStep == 0, "samples must tile with the picture");

    template <class Sample>
    explicit SmoothFields(const Sample& sample) : values_(static_cast<std::size_t>(kColumns) * kRows * kCount) {
        ForEachRow(
            [&](int row) {
                const float fy = (row * kStep + 0.5f) / H;
                for (int column = 0; column < kColumns; ++column) {
                    const float fx = (column * kStep + 0.5f) / W;
                    sample(fx, fy, &values_[(static_cast<std::size_t>(row) * kColumns + column) * kCount]);
                }
            },
            kRows);
    }

    // The fields at pixel (x, y), each bilinear between its four nearest samples.
    void At(int x, int y, float (&out)[kCount]) const {
        const int c0 = x / kStep, r0 = y / kStep;
        const int c1 = c0 + 1 == kColumns ? 0 : c0 + 1, r1 = r0 + 1 == kRows ? 0 : r0 + 1;
        const float tx = static_cast<float>(x % kStep) / kStep, ty = static_cast<float>(y % kStep) / kStep;
        const float* a = &values_[(static_cast<std::size_t>(r0) * kColumns + c0) * kCount];
        const float* b = &values_[(static_cast<std::size_t>(r0) * kColumns + c1) * kCount];
        const float* c = &values_[(static_cast<std::size_t>(r1) * kColumns + c0) * kCount];
        const float* d = &values_[(static_cast<std::size_t>(r1) * kColumns + c1) * kCount];
        for (int k = 0; k < kCount; ++k) {
            const float top = a[k] + (b[k] - a[k]) * tx, bottom = c[k] + (d[k] - c[k]) * tx;
            out[k] = top + (bottom - top) * ty;
        }
    }

private:
    static constexpr int kColumns = W / kStep, kRows = H / kStep;
    std::vector<float> values_;
};

void PaintNebula(Linear& img, std::vector<float>& density) {
    const PeriodicFbm warpX(CellsX(3), CellsY(2), 4, 11), warpY(CellsX(3), CellsY(2), 4, 12);
    const PeriodicFbm cloud(CellsX(4), CellsY(3), 7, 21, 0.55f);
    const PeriodicFbm hue(CellsX(2), CellsY(1), 3, 31);
    const PeriodicFbm dust(CellsX(8), CellsY(5), 6, 41, 0.55f);
    const PeriodicFbm glowField(CellsX(8), CellsY(5), 3, 51);
    density.assign(static_cast<std::size_t>(W) * H, 0.0f);
    // The cells above are not square; that stretches the clouds a little sideways, which
    // suits a band of nebula.
    const PeriodicFbm filaments(CellsX(5), CellsY(3), 5, 61, 0.5f);
    // The warp moves by a tenth of the tuned sky, whatever the picture's size.
    const float warpAmountX = 0.10f * kTunedW / W, warpAmountY = 0.10f * kTunedH / H;
    const Rgbf violet{0.085f, 0.020f, 0.140f};
    const Rgbf rose{0.160f, 0.030f, 0.085f};
    const Rgbf teal{0.012f, 0.070f, 0.130f};
    const Rgbf base{0.0022f, 0.0024f, 0.0075f};
    // The warp, the hue and the glow behind the clouds.
    const SmoothFields smooth([&](float fx, float fy, float* out) {
        out[0] = warpAmountX * warpX.At(fx, fy);
        out[1] = warpAmountY * warpY.At(fx, fy);
        out[2] = hue.At(fx, fy);
        out[3] = glowField.At(fx, fy);
    });
    ForEachRow([&](int y) {
        const float fy = (y + 0.5f) / H;
        float fields[SmoothFields::kCount];
        for (int x = 0; x < W; ++x) {
            const float fx = (x + 0.5f) / W;
            smooth.At(x, y, fields);
            const float wx = fx + fields[0];
            const float wy = fy + fields[1];
            // Fractions outside [0, 1) are fine: the noise repeats.
            const float c = cloud.At(wx, wy);
            float d = Smoothstep(-0.10f, 0.38f, c);
            d = d * std::sqrt(d);
            // Bright wisps: the zero lines of another noise, inside the clouds only.
            const float f = 1 - Clamp01(std::abs(filaments.At(wx, wy)) * 4.0f);
            d += 0.9f * f * f * f * f * Smoothstep(0.1f, 0.6f, d);
            const float lanes = Smoothstep(0.03f, 0.30f, std::abs(dust.At(wx, wy)));
            d *= 0.35f + 0.65f * lanes;
            const float h = Clamp01(0.5f + 1.8f * fields[2]);
            Rgbf col = Mix(teal, violet, h);
            const float hot = Smoothstep(0.3f, 0.9f, d) * Clamp01(0.5f + 2.0f * glowField.At(wx, wy));
            col = Mix(col, rose, hot * h);
            Rgbf& p = img.px[static_cast<std::size_t>(y) * W + x];
            const float bg = 0.8f + 0.6f * (0.5f + fields[3]);
            p.r = base.r * bg + col.r * d * 1.3f;
            p.g = base.g * bg + col.g * d * 1.3f;
            p.b = base.b * bg + col.b * d * 1.3f;
            density[static_cast<std::size_t>(y) * W + x] = d;
        }
    });
}

void PaintStars(Linear& img, const std::vector<float>& density) {
    Rng rng(0x5EED5A7A);
    auto densityAt = [&](float x, float y) {
        const int ix = ((static_cast<int>(x) % W) + W) % W, iy = ((static_cast<int>(y) % H) + H) % H;
        return density[static_cast<std::size_t>(iy) * W + ix];
    };
    // Faint dust of stars, denser where the nebula is.
    for (int placed = 0, count = Scaled(5200); placed < count;) {
        const float x = static_cast<float>(rng.Range(0, W)), y = static_cast<float>(rng.Range(0, H));
        if (rng.Uniform() > 0.45 + 0.9 * densityAt(x, y)) continue;
        ++placed;
        const float b = static_cast<float>(0.015 + 0.12 * std::pow(rng.Uniform(), 2.0));
        Splat(img, x, y, 0.45f, b * 2.2f, StarColor(rng));
    }
    // Small stars.
    for (int i = 0, count = Scaled(650); i < count; ++i) {
        const float x = static_cast<float>(rng.Range(0, W)), y = static_cast<float>(rng.Range(0, H));
        const float b = static_cast<float>(0.15 + 0.6 * std::pow(rng.Uniform(), 1.5));
        Splat(img, x, y, static_cast<float>(rng.Range(0.5, 0.75)), b * 2.0f, StarColor(rng));
    }
    // Bright stars with a halo.
    for (int i = 0, count = Scaled(70); i < count; ++i) {
        const float x = static_cast<float>(rng.Range(0, W)), y = static_cast<float>(rng.Range(0, H));
        const Rgbf col = StarColor(rng);
        const float b = static_cast<float>(rng.Range(0.8, 2.0));
        Splat(img, x, y, 0.8f, b * 2.5f, col);
        Splat(img, x, y, static_cast<float>(rng.Range(2.0, 3.5)), b * 0.06f, col);
    }
    // A few brilliant stars with rays: one somewhere in each cell of a coarse grid, so that they
    // spread over the sky without a visible pattern, and two across the picture's edges.
    std::vector<std::array<float, 2>> brilliant;
    constexpr int kColumns = 6, kRows = 4;
    for (int row = 0; row < kRows; ++row)
        for (int column = 0; column < kColumns; ++column) {
            if (rng.Uniform() < 0.15) continue; // a gap here and there
            brilliant.push_back({static_cast<float>((column + rng.Range(0.1, 0.9)) * W / kColumns),
                                 static_cast<float>((row + rng.Range(0.1, 0.9)) * H / kRows)});
        }
    brilliant.push_back({W - 4.0f, 0.37f * H});
    brilliant.push_back({0.61f * W, H - 3.0f});
    for (const auto& p : brilliant) {
        const Rgbf col = StarColor(rng);
        const float b = static_cast<float>(rng.Range(2.5, 4.0));
        Splat(img, p[0], p[1], 0.9f, b * 3.0f, col);
        Splat(img, p[0], p[1], 3.0f, b * 0.10f, col);
        Splat(img, p[0], p[1], 8.0f, b * 0.012f, col);
        Spikes(img, p[0], p[1], static_cast<float>(rng.Range(3.0, 5.0)), b * 0.35f, col);
    }
}

// A spiral galaxy: a disc seen at a slant (`tilt` is its short axis over its long one, `angle`
// the long axis's direction), two arms wound by `winding`, a bright bulge.
struct Spiral {
    float cx, cy, radius, tilt, angle, winding;
    Rgbf arms;  // colour of the disc's light
    Rgbf bulge; // colour of the core
    float brightness;
};

void PaintSpiral(Linear& img, const PeriodicNoise& grain, const Spiral& s) {
    const float ca = std::cos(s.angle), sa = std::sin(s.angle);
    const int reach = static_cast<int>(s.radius * 1.2f);
    const int x0 = static_cast<int>(s.cx), y0 = static_cast<int>(s.cy);
    for (int y = y0 - reach; y <= y0 + reach; ++y)
        for (int x = x0 - reach; x <= x0 + reach; ++x) {
            const float dx = x + 0.5f - s.cx, dy = y + 0.5f - s.cy;
            const float u = dx * ca + dy * sa, v = (-dx * sa + dy * ca) / s.tilt;
            const float r = std::sqrt(u * u + v * v) / s.radius;
            if (r > 1.15f) continue;
            const float theta = std::atan2(v, u);
            const float arm = std::pow(0.5f + 0.5f * std::cos(2 * (theta - s.winding * std::log(r + 0.05f))), 3.0f);
            const float disc = std::exp(-r * 4.0f) * (1 - Smoothstep(0.8f, 1.15f, r));
            const float bulge = std::exp(-r * r * 90.0f) * s.brightness;
            const float g = 0.75f + 0.5f * grain.At(x * 0.5f, y * 0.5f);
            const float arms = disc * (0.25f + 1.3f * arm) * g * 0.11f * s.brightness;
            Rgbf& p = img.At(x, y);
            p.r += arms * s.arms.r + bulge * s.bulge.r;
            p.g += arms * s.arms.g + bulge * s.bulge.g;
            p.b += arms * s.arms.b + bulge * s.bulge.b;
        }
}

// A small elliptical galaxy: a soft warm oval.
void PaintElliptical(Linear& img, float cx, float cy, float rx, float ry, float brightness) {
    for (int y = static_cast<int>(cy - 3 * ry); y <= static_cast<int>(cy + 3 * ry); ++y)
        for (int x = static_cast<int>(cx - 3 * rx); x <= static_cast<int>(cx + 3 * rx); ++x) {
            const float u = (x + 0.5f - cx) / rx, v = (y + 0.5f - cy) / ry;
            const float e = std::exp(-(u * u + v * v) * 1.4f) * brightness;
            Rgbf& p = img.At(x, y);
            p.r += e * 1.0f;
            p.g += e * 0.85f;
            p.b += e * 0.7f;
        }
}

// Two spiral galaxies far apart, so that a large screen has more than one to find, and two
// small elliptical ones.
void PaintGalaxies(Linear& img) {
    const PeriodicNoise grain(512, 320, 77);
    // Places are fractions of the picture.
    PaintSpiral(img, grain, {0.7227f * W, 0.7266f * H, 95, 0.42f, -0.5f, 3.2f, {0.70f, 0.80f, 1.00f},
                             {0.55f, 0.45f, 0.30f}, 1.0f});
    // Farther away: smaller, fainter, more face-on, wound the other way and a little warmer.
    PaintSpiral(img, grain, {0.2310f * W, 0.2240f * H, 62, 0.74f, 0.9f, -2.6f, {0.85f, 0.82f, 0.95f},
                             {0.60f, 0.46f, 0.28f}, 0.8f});
    PaintElliptical(img, 0.0900f * W, 0.5200f * H, 14, 8, 0.05f);
    PaintElliptical(img, 0.5480f * W, 0.1150f * H, 10, 7, 0.04f);
}

float ToSrgb255(float linear) {
    // Soft shoulder so that star cores saturate to white gently.
    const float v = linear / (1.0f + 0.35f * linear);
    const float c = v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f;
    return std::clamp(c, 0.0f, 1.0f) * 255.0f;
}

} // namespace

ArtPixels PaintBackground() {
    Linear img;
    std::vector<float> density;
    PaintNebula(img, density);
    PaintGalaxies(img);
    PaintStars(img, density);
    ArtPixels art;
    art.width = W;
    art.height = H;
    // The whole sky weighs in the palette's choice as much as the sky the look was tuned on,
    // so that the figures keep their share of the colours.
    art.weight = 1.0 / kAreaScale;
    art.rgb.resize(img.px.size());
    art.opaque.assign(img.px.size(), 1);
    ForEachRow([&](int y) {
        for (std::size_t i = static_cast<std::size_t>(y) * W, end = i + W; i < end; ++i) {
            const Rgbf& p = img.px[i];
            // The star colour's white point is slightly above 1, so highlights burn to white.
            const float peak = std::max({p.r, p.g, p.b});
            const float whiten = Smoothstep(1.2f, 3.0f, peak);
            art.rgb[i] = {ToSrgb255(p.r + (peak - p.r) * whiten), ToSrgb255(p.g + (peak - p.g) * whiten),
                          ToSrgb255(p.b + (peak - p.b) * whiten)};
        }
    });
    return art;
}

} // namespace plenova::datagen
