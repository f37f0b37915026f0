#include "art.h"

#include <QColor>
#include <QPen>

namespace plenova::datagen {

QImage NewCanvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QPen RoundPen(const QColor& color, double width) {
    QPen pen(color, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

namespace {

struct Premul {
    float a, r, g, b; // r, g, b premultiplied, all 0..1
};

Premul Read(const QImage& image, int x, int y) {
    if (image.isNull()) return {0, 0, 0, 0};
    const QRgb p = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
    return {qAlpha(p) / 255.0f, qRed(p) / 255.0f, qGreen(p) / 255.0f, qBlue(p) / 255.0f};
}

} // namespace

ArtPixels PrepareSprite(const Layered& layered, double weight) {
    const int w = layered.body.width(), h = layered.body.height();
    ArtPixels art;
    art.width = w;
    art.height = h;
    art.weight = weight;
    art.rgb.resize(static_cast<std::size_t>(w) * h);
    art.opaque.assign(art.rgb.size(), 0);
    const Rgbf space{kSpaceColor.r / 255, kSpaceColor.g / 255, kSpaceColor.b / 255};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            // The frame's outermost ring stays transparent so that every figure is cut clean.
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1) continue;
            const Premul body = Read(layered.body, x, y);
            const Premul glow = Read(layered.glow, x, y);
            if (body.a >= 0.5f) {
                const float under = 1 - body.a, behind = 1 - glow.a;
                art.rgb[i] = {255 * (body.r + under * (glow.r + behind * space.r)),
                              255 * (body.g + under * (glow.g + behind * space.g)),
                              255 * (body.b + under * (glow.b + behind * space.b))};
                art.opaque[i] = 1;
                continue;
            }
            if (glow.a < 0.03f) continue;
            // Soft light: solid where it is strong, blended with the dark of space; where it is
            // faint, solid pixels of the faint colour in proportion to its strength, so that
            // the background shows through between them.
            constexpr float kSolid = 0.6f;
            const float alpha = body.a + (1 - body.a) * glow.a;
            const float r = body.r + (1 - body.a) * glow.r, g = body.g + (1 - body.a) * glow.g,
                        b = body.b + (1 - body.a) * glow.b;
            float k = 1; // scales the light down to the faint level
            if (alpha < kSolid) {
                if (alpha <= kSolid * Bayer8(x, y)) continue;
                k = kSolid / alpha;
            }
            const float a = alpha * k;
            art.rgb[i] = {255 * (r * k + (1 - a) * space.r), 255 * (g * k + (1 - a) * space.g),
                          255 * (b * k + (1 - a) * space.b)};
            art.opaque[i] = 1;
        }
    return art;
}

ArtPixels PrepareOpaque(const QImage& image, double weight) {
    const QImage rgb = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ArtPixels art;
    art.width = rgb.width();
    art.height = rgb.height();
    art.weight = weight;
    art.rgb.resize(static_cast<std::size_t>(art.width) * art.height);
    art.opaque.assign(art.rgb.size(), 1);
    for (int y = 0; y < art.height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < art.width; ++x)
            art.rgb[static_cast<std::size_t>(y) * art.width + x] = {static_cast<float>(qRed(line[x])),
                                                                     static_cast<float>(qGreen(line[x])),
                                                                     static_cast<float>(qBlue(line[x]))};
    }
    return art;
}

} // namespace plenova::datagen
