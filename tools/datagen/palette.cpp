#include "palette.h"

#include "assets/asset_names.h"

#include <algorithm>
#include <numeric>

namespace plenova::datagen {

namespace {

constexpr int kCellBits = 6;
constexpr int kCells = 1 << (3 * kCellBits);

int CellOf(float r, float g, float b) {
    auto q = [](float v) { return std::clamp(static_cast<int>(v) >> (8 - kCellBits), 0, (1 << kCellBits) - 1); };
    return (q(r) << (2 * kCellBits)) | (q(g) << kCellBits) | q(b);
}

Rgb8 ToRgb8(const Rgbf& c) {
    auto b = [](float v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    return {b(c.r), b(c.g), b(c.b)};
}

struct Box {
    std::vector<int> items;
    double score = 0; // weighted spread; the box with the largest is split next
    int axis = 0;
};

float Axis(const Lab& lab, int axis) { return axis == 0 ? lab.L : (axis == 1 ? lab.a : lab.b); }

void Measure(Box& box, const std::vector<ColorHistogram::Item>& items) {
    double w = 0, mean[3] = {0, 0, 0};
    for (int i : box.items) {
        w += items[i].weight;
        for (int a = 0; a < 3; ++a) mean[a] += items[i].weight * Axis(items[i].lab, a);
    }
    if (w <= 0 || box.items.size() < 2) {
        box.score = 0;
        return;
    }
    double var[3] = {0, 0, 0};
    for (int a = 0; a < 3; ++a) mean[a] /= w;
    for (int i : box.items)
        for (int a = 0; a < 3; ++a) {
            const double d = Axis(items[i].lab, a) - mean[a];
            var[a] += items[i].weight * d * d;
        }
    box.axis = static_cast<int>(std::max_element(var, var + 3) - var);
    // Square root of the weight: dense regions still get entries, but rare colours of the
    // small figures are not swamped by the large dark background.
    box.score = (var[0] + var[1] + var[2]) / w * std::sqrt(w);
}

} // namespace

ColorHistogram::ColorHistogram() : sums_(static_cast<std::size_t>(kCells) * 4, 0.0) {}

void ColorHistogram::Add(const ArtPixels& art) {
    for (std::size_t i = 0; i < art.rgb.size(); ++i) {
        if (!art.opaque[i]) continue;
        const Rgbf& c = art.rgb[i];
        const std::size_t cell = static_cast<std::size_t>(CellOf(c.r, c.g, c.b)) * 4;
        sums_[cell] += art.weight * c.r;
        sums_[cell + 1] += art.weight * c.g;
        sums_[cell + 2] += art.weight * c.b;
        sums_[cell + 3] += art.weight;
    }
}

std::vector<ColorHistogram::Item> ColorHistogram::Items() const {
    std::vector<Item> items;
    for (int cell = 0; cell < kCells; ++cell) {
        const double w = sums_[static_cast<std::size_t>(cell) * 4 + 3];
        if (w <= 0) continue;
        Rgbf c{static_cast<float>(sums_[cell * 4u] / w), static_cast<float>(sums_[cell * 4u + 1] / w),
               static_cast<float>(sums_[cell * 4u + 2] / w)};
        items.push_back({c, ToOklab(c.r, c.g, c.b), w});
    }
    return items;
}

const std::array<Rgb8, 20>& StaticColors() {
    static const std::array<Rgb8, 20> colors{{
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
    }};
    return colors;
}

namespace {

using Items = std::vector<ColorHistogram::Item>;

// Median cut in Oklab: `count` starting colours, the weighted means of the boxes; fewer colours
// in the pictures than entries are filled with a dark blue ramp.
std::vector<Rgbf> MedianCut(const Items& items, int count) {
    std::vector<Box> boxes(1);
    boxes[0].items.resize(items.size());
    std::iota(boxes[0].items.begin(), boxes[0].items.end(), 0);
    Measure(boxes[0], items);
    while (static_cast<int>(boxes.size()) < count) {
        auto it = std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& a, const Box& b) { return a.score < b.score; });
        if (it->score <= 0) break;
        Box& box = *it;
        const int axis = box.axis;
        std::stable_sort(box.items.begin(), box.items.end(), [&](int a, int b) {
            return Axis(items[a].lab, axis) < Axis(items[b].lab, axis);
        });
        double total = 0;
        for (int i : box.items) total += items[i].weight;
        double run = 0;
        std::size_t cut = 1;
        for (std::size_t k = 0; k + 1 < box.items.size(); ++k) {
            run += items[box.items[k]].weight;
            cut = k + 1;
            if (run >= total / 2) break;
        }
        Box upper;
        upper.items.assign(box.items.begin() + static_cast<std::ptrdiff_t>(cut), box.items.end());
        box.items.resize(cut);
        Measure(box, items);
        Measure(upper, items);
        boxes.push_back(std::move(upper));
    }

    std::vector<Rgbf> centers;
    for (const Box& box : boxes) {
        double w = 0, r = 0, g = 0, b = 0;
        for (int i : box.items) {
            w += items[i].weight;
            r += items[i].weight * items[i].rgb.r;
            g += items[i].weight * items[i].rgb.g;
            b += items[i].weight * items[i].rgb.b;
        }
        if (w > 0)
            centers.push_back(
                {static_cast<float>(r / w), static_cast<float>(g / w), static_cast<float>(b / w)});
    }
    while (static_cast<int>(centers.size()) < count) {
        const float v = 4.0f * static_cast<float>(centers.size() % 64);
        centers.push_back({v * 0.3f, v * 0.4f, v});
    }
    return centers;
}

// One k-means step: every item goes to its nearest colour of `labs` (`owner`), and each centre
// (after the fixed colours) moves to the weighted mean of its items. A colour that serves
// nothing (for example one that duplicates a fixed grey) moves to the item served worst so far.
void RefineOnce(const Items& items, std::size_t fixedCount, const std::vector<Lab>& labs,
                std::vector<int>& owner, std::vector<Rgbf>& centers) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        float best = 1e30f;
        for (std::size_t k = 0; k < labs.size(); ++k) {
            const float d = LabDistance2(items[i].lab, labs[k]);
            if (d < best) {
                best = d;
                owner[i] = static_cast<int>(k);
            }
        }
    }
    std::vector<double> acc(centers.size() * 4, 0.0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const int k = owner[i] - static_cast<int>(fixedCount);
        if (k < 0) continue;
        acc[k * 4u] += items[i].weight * items[i].rgb.r;
        acc[k * 4u + 1] += items[i].weight * items[i].rgb.g;
        acc[k * 4u + 2] += items[i].weight * items[i].rgb.b;
        acc[k * 4u + 3] += items[i].weight;
    }
    std::vector<char> taken(items.size(), 0);
    for (std::size_t k = 0; k < centers.size(); ++k) {
        const double w = acc[k * 4 + 3];
        if (w > 0) {
            centers[k] = {static_cast<float>(acc[k * 4] / w),
                          static_cast<float>(acc[k * 4 + 1] / w),
                          static_cast<float>(acc[k * 4 + 2] / w)};
            continue;
        }
        double worst = -1;
        std::size_t pick = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (taken[i]) continue;
            const double e = items[i].weight * LabDistance2(items[i].lab, labs[owner[i]]);
            if (e > worst) {
                worst = e;
                pick = i;
            }
        }
        if (worst > 0) {
            taken[pick] = 1;
            centers[k] = items[pick].rgb;
        }
    }
}

// k-means refinement; the fixed colours take part in the assignment but stay where they are.
void Refine(const Items& items, const std::vector<Rgbf>& fixed, std::vector<Rgbf>& centers) {
    std::vector<Lab> labs(fixed.size() + centers.size());
    std::vector<int> owner(items.size(), 0);
    for (int iteration = 0; iteration < 8; ++iteration) {
        for (std::size_t k = 0; k < fixed.size(); ++k)
            labs[k] = ToOklab(fixed[k].r, fixed[k].g, fixed[k].b);
        for (std::size_t k = 0; k < centers.size(); ++k)
            labs[fixed.size() + k] = ToOklab(centers[k].r, centers[k].g, centers[k].b);
        RefineOnce(items, fixed.size(), labs, owner, centers);
    }
}

// The scene's entries: the fixed colours, then the fitted ones ordered by lightness so that the
// table reads like ramps. A fitted colour that rounds to one already in the table would waste
// its entry: it takes the colour that the table serves worst instead.
std::vector<Rgb8> Fill(const Items& items, const std::vector<Rgbf>& fixed,
                       const std::vector<Rgbf>& centers) {
    std::vector<Rgb8> scene;
    for (const Rgbf& c : fixed) scene.push_back(ToRgb8(c));
    std::vector<Rgb8> fitted;
    for (const Rgbf& c : centers) fitted.push_back(ToRgb8(c));
    std::vector<Lab> tableLabs;
    for (const Rgb8& c : scene) tableLabs.push_back(ToOklab(c.r, c.g, c.b));
    for (const Rgb8& c : fitted) tableLabs.push_back(ToOklab(c.r, c.g, c.b));
    for (std::size_t k = 0; k < fitted.size(); ++k) {
        const auto same = [&](const Rgb8& c) { return c == fitted[k]; };
        const bool duplicate =
            std::any_of(scene.begin(), scene.end(), same) ||
            std::any_of(fitted.begin(), fitted.begin() + static_cast<std::ptrdiff_t>(k), same);
        if (!duplicate) continue;
        double worst = -1;
        Rgb8 pick = fitted[k];
        for (const ColorHistogram::Item& item : items) {
            const Rgb8 candidate = ToRgb8(item.rgb);
            const auto sameAsCandidate = [&](const Rgb8& c) { return c == candidate; };
            if (std::any_of(scene.begin(), scene.end(), sameAsCandidate) ||
                std::any_of(fitted.begin(), fitted.end(), sameAsCandidate))
                continue;
            float best = 1e30f;
            for (const Lab& lab : tableLabs) best = std::min(best, LabDistance2(item.lab, lab));
            if (item.weight * best > worst) {
                worst = item.weight * best;
                pick = candidate;
            }
        }
        fitted[k] = pick;
        tableLabs[scene.size() + k] = ToOklab(pick.r, pick.g, pick.b);
    }
    std::stable_sort(fitted.begin(), fitted.end(), [](const Rgb8& a, const Rgb8& b) {
        const Lab la = ToOklab(a.r, a.g, a.b), lb = ToOklab(b.r, b.g, b.b);
        return la.L < lb.L;
    });
    scene.insert(scene.end(), fitted.begin(), fitted.end());
    return scene;
}

}  // namespace

PaletteColors BuildScenePalette(const ColorHistogram& histogram) {
    PaletteColors pal{};
    const auto& statics = StaticColors();
    for (int i = 0; i < 10; ++i) {
        pal[i] = statics[i];
        pal[246 + i] = statics[10 + i];
    }

    // Fixed grey ramp from black to white: stars, metal and outlines rely on it.
    constexpr int kGreys = 13;
    std::vector<Rgbf> fixed;
    for (int i = 0; i < kGreys; ++i) {
        const float v = 255.0f * i / (kGreys - 1);
        fixed.push_back({v, v, v});
    }
    const int sceneCount = assets::kLastSceneIndex - assets::kFirstSceneIndex + 1;
    const Items items = histogram.Items();
    std::vector<Rgbf> centers = MedianCut(items, sceneCount - kGreys);
    Refine(items, fixed, centers);
    const std::vector<Rgb8> scene = Fill(items, fixed, centers);
    for (int i = 0; i < sceneCount; ++i) pal[assets::kFirstSceneIndex + i] = scene[i];
    return pal;
}

Quantizer::Quantizer(const PaletteColors& palette) : palette_(palette), cache_(1u << 24, 0) {
    for (int i = 0; i < 256; ++i) labs_[i] = ToOklab(palette[i].r, palette[i].g, palette[i].b);
}

std::uint8_t Quantizer::Nearest(int r, int g, int b) {
    r = std::clamp(r, 0, 255);
    g = std::clamp(g, 0, 255);
    b = std::clamp(b, 0, 255);
    std::uint8_t& slot = cache_[(static_cast<std::size_t>(r) << 16) | (g << 8) | b];
    if (slot == 0) {
        const Lab lab = ToOklab(static_cast<float>(r), static_cast<float>(g), static_cast<float>(b));
        float best = 1e30f;
        int bestIndex = assets::kFirstSceneIndex;
        for (int i = assets::kFirstSceneIndex; i <= assets::kLastSceneIndex; ++i) {
            const float d = LabDistance2(lab, labs_[i]);
            if (d < best) {
                best = d;
                bestIndex = i;
            }
        }
        slot = static_cast<std::uint8_t>(bestIndex);
    }
    return slot;
}

std::uint8_t Quantizer::Dither(const Rgbf& c, int x, int y) {
    const std::uint8_t p1 = Nearest(static_cast<int>(std::lround(c.r)), static_cast<int>(std::lround(c.g)),
                                    static_cast<int>(std::lround(c.b)));
    const Rgb8& q = palette_[p1];
    const float r2 = 2 * c.r - q.r, g2 = 2 * c.g - q.g, b2 = 2 * c.b - q.b;
    const std::uint8_t p2 = Nearest(static_cast<int>(std::lround(r2)), static_cast<int>(std::lround(g2)),
                                    static_cast<int>(std::lround(b2)));
    if (p1 == p2) return p1;
    const Lab lc = ToOklab(std::clamp(c.r, 0.0f, 255.0f), std::clamp(c.g, 0.0f, 255.0f), std::clamp(c.b, 0.0f, 255.0f));
    const Lab& l1 = labs_[p1];
    const Lab& l2 = labs_[p2];
    const float dx = l2.L - l1.L, dy = l2.a - l1.a, dz = l2.b - l1.b;
    const float len2 = dx * dx + dy * dy + dz * dz;
    if (len2 <= 0) return p1;
    const float error2 = LabDistance2(lc, l1);
    // Close enough already: a lone pixel of another colour would only show as a speck.
    if (error2 < 0.008f * 0.008f) return p1;
    const float t = std::clamp(((lc.L - l1.L) * dx + (lc.a - l1.a) * dy + (lc.b - l1.b) * dz) / len2, 0.0f, 1.0f);
    // Mix only when the line between the two entries passes much closer to the colour than the
    // nearest entry does; otherwise the second entry is a different hue, not a neighbour.
    const float across2 = error2 - t * t * len2;
    if (across2 > 0.2f * error2) return p1;
    return Bayer8(x, y) < t ? p2 : p1;
}

IndexedImage Quantizer::Map(const ArtPixels& art, bool dither) {
    IndexedImage out;
    out.width = art.width;
    out.height = art.height;
    out.pixels.resize(art.rgb.size());
    for (int y = 0; y < art.height; ++y)
        for (int x = 0; x < art.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * art.width + x;
            if (!art.opaque[i]) {
                out.pixels[i] = static_cast<std::uint8_t>(assets::kTransparentIndex);
                continue;
            }
            const Rgbf& c = art.rgb[i];
            out.pixels[i] = dither ? Dither(c, x, y)
                                   : Nearest(static_cast<int>(std::lround(c.r)), static_cast<int>(std::lround(c.g)),
                                             static_cast<int>(std::lround(c.b)));
        }
    return out;
}

} // namespace plenova::datagen
