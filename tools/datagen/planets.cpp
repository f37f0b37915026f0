// Planets and the asteroid, rendered per pixel with 4 x 4 supersampling: spheres lit from the
// upper left, banded atmospheres, rings, craters.
#include "art.h"
#include "noise.h"

#include <QPainter>

#include <cmath>
#include <functional>
#include <optional>

namespace plenova::datagen {

namespace {

constexpr double kPi = 3.14159265358979;

struct Sample {
    Rgbf color; // sRGB 0..1
    float alpha = 1;
};

// Renders `shade` over the picture with 4 x 4 samples per pixel; a sample with no value is
// empty space.
QImage Supersample(int width, int height, double originX, double originY, double scale,
                   const std::function<std::optional<Sample>(double, double)>& shade) {
    QImage image = NewCanvas(width, height);
    constexpr int kSub = 4;
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            float r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < kSub; ++sy)
                for (int sx = 0; sx < kSub; ++sx) {
                    const double px = (x + (sx + 0.5) / kSub - originX) / scale;
                    const double py = (y + (sy + 0.5) / kSub - originY) / scale;
                    if (auto s = shade(px, py)) {
                        r += s->color.r * s->alpha;
                        g += s->color.g * s->alpha;
                        b += s->color.b * s->alpha;
                        a += s->alpha;
                    }
                }
            constexpr float n = kSub * kSub;
            auto byte = [](float v) { return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
            line[x] = qRgba(byte(r / n), byte(g / n), byte(b / n), byte(a / n));
        }
    }
    return image;
}

Rgbf Lerp(Rgbf a, Rgbf b, float t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgbf Scale(Rgbf a, float s) { return {a.r * s, a.g * s, a.b * s}; }
Rgbf C(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }

// Colour from a cyclic list of band colours at position t.
Rgbf Bands(const std::vector<Rgbf>& colors, float t) {
    const float n = static_cast<float>(colors.size());
    float f = std::fmod(t, n);
    if (f < 0) f += n;
    const int i = static_cast<int>(f);
    const float frac = Smoothstep(0.0f, 1.0f, f - i);
    return Lerp(colors[i % colors.size()], colors[(i + 1) % colors.size()], frac);
}

struct Sphere {
    double x, y, z; // unit normal, z towards the viewer
};

std::optional<Sphere> OnSphere(double px, double py) {
    const double rr = px * px + py * py;
    if (rr > 1) return std::nullopt;
    return Sphere{px, py, std::sqrt(1 - rr)};
}

// Lambert light from the upper left with a soft terminator and darkened limb.
float Light(const Sphere& n) {
    const double lx = -0.55, ly = -0.5, lz = 0.67;
    const double d = n.x * lx + n.y * ly + n.z * lz;
    const double lit = Smoothstep(-0.25f, 0.6f, static_cast<float>(d));
    const double limb = 0.75 + 0.25 * n.z;
    return static_cast<float>(0.07 + 1.0 * lit * limb);
}

std::optional<Sample> GasGiantAt(double px, double py, const PeriodicNoise& swirl) {
    const auto n = OnSphere(px, py);
    if (!n) return std::nullopt;
    const double tilt = -0.2;
    const double u = n->x * std::cos(tilt) - n->y * std::sin(tilt);
    const double v = n->x * std::sin(tilt) + n->y * std::cos(tilt);
    const double lat = std::asin(std::clamp(v, -1.0, 1.0));
    const double lon = std::atan2(u, n->z);
    static const std::vector<Rgbf> kBands = {C(244, 226, 190), C(214, 160, 108), C(236, 206, 160), C(176, 98, 62),
                                             C(226, 186, 140), C(198, 132, 84), C(246, 232, 204), C(160, 88, 58)};
    const double wobble = 0.22 * swirl.At(static_cast<float>(lon * 3 + 10), static_cast<float>(lat * 9 + 10)) +
                          0.06 * std::sin(lon * 5 + lat * 14);
    Rgbf c = Bands(kBands, static_cast<float>(lat * 7.5 + wobble * 1.5 + 3));
    // The great storm: an oval with a paler rim, south of the equator.
    const double sx = (lon - 0.45) / 0.34, sy = (lat - 0.36) / 0.11;
    const double s = sx * sx + sy * sy;
    if (s < 1.3) {
        const float core = 1 - Smoothstep(0.2f, 1.0f, static_cast<float>(s));
        const float rim = Smoothstep(0.7f, 1.0f, static_cast<float>(s)) * (1 - Smoothstep(1.0f, 1.3f, static_cast<float>(s)));
        c = Lerp(c, C(196, 78, 48), core * 0.9f);
        c = Lerp(c, C(248, 226, 196), rim * 0.7f);
    }
    const float light = Light(*n);
    c = Scale(c, light);
    // A warm haze at the rim.
    const float rim = static_cast<float>(std::pow(1 - n->z, 3));
    c = Lerp(c, Scale(C(255, 190, 130), light), rim * 0.35f);
    return Sample{c, 1};
}

std::optional<Sample> RingedPlanetAt(double px, double py, const PeriodicNoise& swirl) {
    // Ring plane seen from slightly above, tipped by `tilt`.
    const double tilt = -0.24;
    const double u = px * std::cos(tilt) + py * std::sin(tilt);
    const double v = -px * std::sin(tilt) + py * std::cos(tilt);
    const double squash = 0.26;
    const double rho = std::sqrt(u * u + (v / squash) * (v / squash));
    std::optional<Sample> ring;
    if (rho > 1.32 && rho < 2.35) {
        // Bands of the ring with a dark gap two thirds of the way out.
        const double t = (rho - 1.32) / (2.35 - 1.32);
        float density = 0.75f + 0.25f * static_cast<float>(std::sin(t * 40) * std::sin(t * 13 + 1));
        if (t > 0.60 && t < 0.66) density = 0.0f;
        if (t < 0.08) density *= static_cast<float>(t / 0.08);
        if (t > 0.94) density *= static_cast<float>((1 - t) / 0.06);
        Rgbf c = Lerp(C(196, 184, 160), C(250, 244, 228), static_cast<float>(0.5 + 0.5 * std::sin(t * 23)));
        if (t > 0.66) c = Lerp(c, C(176, 168, 150), 0.5f);
        // Darker rims set the ring off against the planet behind it.
        if (t < 0.05 || t > 0.95 || (t > 0.57 && t < 0.69)) c = Scale(c, 0.62f);
        // The planet's shadow falls on the ring behind it, to the lower right.
        const double shadowU = u - 0.35, shadowV = v / squash;
        if (v < 0 && shadowU * shadowU + shadowV * shadowV * 0.25 < 1.0 && u > 0) c = Scale(c, 0.35f);
        if (density > 0.02f) ring = Sample{c, density > 0.5f ? 1.0f : density * 2};
    }
    const auto n = OnSphere(px, py);
    const bool ringInFront = v > 0;
    if (n && (!ring || !ringInFront)) {
        const double lat = std::asin(std::clamp(v, -1.0, 1.0));
        const double lon = std::atan2(u, n->z);
        static const std::vector<Rgbf> kBands = {C(236, 208, 150), C(214, 178, 118), C(242, 222, 170), C(196, 156, 100),
                                                 C(228, 198, 140)};
        const double wobble = 0.12 * swirl.At(static_cast<float>(lon * 2 + 5), static_cast<float>(lat * 8 + 5));
        Rgbf c = Bands(kBands, static_cast<float>(lat * 6 + wobble * 2 + 2));
        c = Scale(c, Light(*n));
        // The ring's shadow across the planet, just above the ring's front edge.
        if (v < -0.02 && v > -0.13 && std::abs(u) < 0.95) c = Scale(c, 0.55f);
        return Sample{c, 1};
    }
    if (ring && n && ringInFront) {
        // Front of the ring over the planet: blend the two by the ring's density.
        const double lat = std::asin(std::clamp(v, -1.0, 1.0));
        (void)lat;
        Rgbf planet = Scale(C(226, 194, 136), Light(*n));
        ring->color = Lerp(planet, ring->color, ring->alpha);
        ring->alpha = 1;
    }
    return ring;
}

// A lumpy, cratered rock.
std::optional<Sample> AsteroidAt(double px, double py, const PeriodicNoise& bumps) {
    const double theta = std::atan2(py, px);
    const double radius = 1 + 0.10 * std::sin(3 * theta + 1.1) + 0.07 * std::sin(5 * theta + 2.3) +
                          0.04 * std::sin(8 * theta + 0.4);
    const double ex = px / 1.0, ey = py / 0.8;
    const double s = std::sqrt(ex * ex + ey * ey) / radius;
    if (s > 1) return std::nullopt;
    const double z = std::sqrt(1 - s * s);
    double nx = ex / radius, ny = ey / radius, nz = z;
    float albedo = 0.9f + 0.25f * bumps.At(static_cast<float>(px * 6 + 20), static_cast<float>(py * 6 + 20));
    struct Crater {
        double x, y, r;
    };
    static const Crater kCraters[] = {{-0.30, -0.20, 0.26}, {0.35, 0.22, 0.20}, {0.15, -0.45, 0.14},
                                      {-0.45, 0.35, 0.15},  {0.55, -0.15, 0.12}, {-0.05, 0.45, 0.10}};
    for (const Crater& c : kCraters) {
        const double dx = (px - c.x) / c.r, dy = (py - c.y) / c.r;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < 1.25) {
            // Bowl inside (normal tipped towards the centre), raised rim just outside.
            const double k = d < 1 ? -0.9 * d : 1.2 * (1.25 - d);
            nx += k * dx / (d + 1e-6) * 0.6;
            ny += k * dy / (d + 1e-6) * 0.6;
            if (d < 1) albedo *= 0.85f;
        }
    }
    nx += 0.15 * bumps.At(static_cast<float>(px * 14), static_cast<float>(py * 14));
    ny += 0.15 * bumps.At(static_cast<float>(px * 14 + 40), static_cast<float>(py * 14 + 40));
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    const Sphere n{nx / len, ny / len, nz / len};
    Rgbf c = Lerp(C(150, 132, 112), C(120, 112, 108), Clamp01(0.5f + bumps.At(static_cast<float>(px * 3), static_cast<float>(py * 3))));
    c = Scale(c, albedo * Light(n) * 1.05f);
    return Sample{c, 1};
}

} // namespace

Layered PaintGasGiant() {
    const PeriodicNoise swirl(64, 64, 7);
    return {Supersample(112, 112, 56, 56, 53,
                        [&](double x, double y) { return GasGiantAt(x, y, swirl); }),
            QImage()};
}

Layered PaintRingedPlanet() {
    const PeriodicNoise swirl(64, 64, 8);
    return {Supersample(152, 88, 76, 44, 31,
                        [&](double x, double y) { return RingedPlanetAt(x, y, swirl); }),
            QImage()};
}

Layered PaintAsteroid() {
    const PeriodicNoise bumps(64, 64, 9);
    return {Supersample(56, 48, 28, 24, 22,
                        [&](double x, double y) { return AsteroidAt(x, y, bumps); }),
            QImage()};
}

void DrawGasGiant(QPainter& painter, double diameter) {
    const int size = static_cast<int>(std::ceil(diameter)) + 2;
    const PeriodicNoise swirl(64, 64, 7);
    const QImage image = Supersample(size, size, size / 2.0, size / 2.0, diameter / 2,
                                     [&](double x, double y) { return GasGiantAt(x, y, swirl); });
    painter.drawImage(QPointF(-size / 2.0, -size / 2.0), image);
}

void DrawRingedPlanet(QPainter& painter, double diameter) {
    const int w = static_cast<int>(std::ceil(diameter * 2.45)) + 2, h = static_cast<int>(std::ceil(diameter * 1.4)) + 2;
    const PeriodicNoise swirl(64, 64, 8);
    const QImage image = Supersample(w, h, w / 2.0, h / 2.0, diameter / 2,
                                     [&](double x, double y) { return RingedPlanetAt(x, y, swirl); });
    painter.drawImage(QPointF(-w / 2.0, -h / 2.0), image);
}

} // namespace plenova::datagen
