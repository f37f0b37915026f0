// Pictures of the settings dialog and the preview still, and the icons.
#include "art.h"
#include "assets/asset_names.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace plenova::datagen {

namespace {

constexpr double kPi = 3.14159265358979;
const QString kTitle = QStringLiteral("Plenova Saver");

// The title font, loaded from its file when present so that the outline does not depend on
// which fonts the machine's font configuration prefers.
QFont TitleFont(double pixelSize) {
    static QString family = [] {
        for (const char* path : {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
                                 "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"}) {
            if (!QFile::exists(QString::fromUtf8(path))) continue;
            const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(path));
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty()) return families.first();
        }
        return QStringLiteral("DejaVu Sans");
    }();
    QFont font(family);
    font.setPixelSize(static_cast<int>(pixelSize));
    font.setBold(true);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);
    return font;
}

// The title text as a filled, outlined path centred on `center`, fitted to `width`.
void DrawTitleText(QPainter& p, QPointF center, double width, double pixelSize) {
    QPainterPath text;
    text.addText(0, 0, TitleFont(pixelSize), kTitle);
    const QRectF box = text.boundingRect();
    const double scale = width / box.width();
    QTransform t;
    t.translate(center.x(), center.y());
    t.scale(scale, scale);
    t.translate(-box.center().x(), -box.center().y());
    const QPainterPath placed = t.map(text);
    const QRectF r = placed.boundingRect();
    // Blue glow behind, dark outline, golden fill.
    for (int i = 4; i >= 1; --i) {
        QPen glow(QColor(60, 120, 255, 40), i * 2.2);
        glow.setJoinStyle(Qt::RoundJoin);
        p.strokePath(placed, glow);
    }
    QPen outline(QColor(70, 30, 10), 2.0);
    outline.setJoinStyle(Qt::RoundJoin);
    p.strokePath(placed, outline);
    QLinearGradient fill(0, r.top(), 0, r.bottom());
    fill.setColorAt(0, QColor(255, 250, 190));
    fill.setColorAt(0.45, QColor(255, 214, 60));
    fill.setColorAt(0.55, QColor(244, 170, 30));
    fill.setColorAt(1, QColor(255, 226, 120));
    p.fillPath(placed, fill);
}

void StarSparkle(QPainter& p, QPointF c, double radius, QColor color) {
    // Four-pointed sparkle with a round glow.
    QRadialGradient glow(c, radius);
    QColor a = color;
    a.setAlpha(140);
    QColor b = color;
    b.setAlpha(0);
    glow.setColorAt(0, a);
    glow.setColorAt(1, b);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(c, radius, radius);
    QPainterPath star;
    const double inner = radius * 0.16;
    for (int i = 0; i < 8; ++i) {
        const double angle = i * kPi / 4 - kPi / 2;
        const double r = (i % 2 == 0) ? radius : inner;
        const QPointF pt = c + QPointF(std::cos(angle), std::sin(angle)) * r;
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    QRadialGradient core(c, radius);
    core.setColorAt(0, QColor(255, 255, 255));
    core.setColorAt(0.35, color.lighter(120));
    core.setColorAt(1, color);
    p.setBrush(core);
    p.drawPath(star);
}

// The opaque dialog pictures start from black space.
QImage BlackCanvas(int width, int height) {
    QImage image = NewCanvas(width, height);
    image.fill(Qt::black);
    return image;
}

void StarField(QPainter& p, int width, int height, int count, std::uint64_t seed) {
    Rng rng(seed);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const QPointF at(rng.Range(0, width), rng.Range(0, height));
        const int v = 90 + rng.Int(0, 165);
        const double r = rng.Uniform() < 0.85 ? 0.6 : 1.1;
        const int tint = rng.Int(0, 2);
        p.setBrush(QColor(tint == 2 ? v : v * 9 / 10 + 25, v * 19 / 20 + 10, tint == 1 ? v * 4 / 5 : std::min(255, v + 20)));
        p.drawEllipse(at, r, r);
    }
}

} // namespace

QImage PaintPreview() {
    QImage image = BlackCanvas(assets::kPreviewWidth, assets::kPreviewHeight);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    StarField(p, image.width(), image.height(), 260, 0xB1A5);
    StarSparkle(p, QPointF(40, 40), 7, QColor(160, 200, 255));
    StarSparkle(p, QPointF(280, 200), 6, QColor(255, 230, 160));
    StarSparkle(p, QPointF(180, 24), 5, QColor(255, 255, 255));
    p.save();
    p.translate(252, 62);
    DrawRingedPlanet(p, 46);
    p.restore();
    p.save();
    p.translate(58, 178);
    DrawGasGiant(p, 62);
    p.restore();
    p.save();
    p.translate(160, 118);
    p.scale(0.62, 0.62);
    DrawFrog(p, 0.25);
    p.restore();
    DrawTitleText(p, QPointF(170, 206), 168, 40);
    return image;
}

QImage PaintTitle() {
    QImage image = BlackCanvas(206, 71);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    StarField(p, image.width(), image.height(), 40, 0x717E);
    StarSparkle(p, QPointF(12, 12), 6, QColor(170, 210, 255));
    StarSparkle(p, QPointF(194, 58), 5, QColor(255, 230, 150));
    DrawTitleText(p, QPointF(103, 36), 186, 44);
    return image;
}

QImage PaintStarPicture(int size, int variant) {
    static const QColor kColors[4] = {QColor(255, 220, 80), QColor(140, 200, 255), QColor(255, 150, 200),
                                      QColor(255, 255, 220)};
    QImage image = BlackCanvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    StarSparkle(p, QPointF(size / 2.0, size / 2.0), size / 2.0 - 0.5, kColors[variant % 4]);
    return image;
}

QImage PaintProgramIcon(int size) {
    QImage image = NewCanvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double s = size / 32.0;
    // Night-blue disc with a few stars, and the frog's face in front.
    QRadialGradient sky(QPointF(12 * s, 10 * s), 20 * s);
    sky.setColorAt(0, QColor(40, 50, 120));
    sky.setColorAt(1, QColor(8, 10, 40));
    p.setPen(QPen(QColor(120, 140, 220), 1.0 * s));
    p.setBrush(sky);
    p.drawEllipse(QPointF(16 * s, 16 * s), 15 * s, 15 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 220));
    p.drawEllipse(QPointF(8 * s, 9 * s), 0.9 * s, 0.9 * s);
    p.drawEllipse(QPointF(25 * s, 7 * s), 0.7 * s, 0.7 * s);
    p.drawEllipse(QPointF(26 * s, 24 * s), 0.6 * s, 0.6 * s);
    // The frog looks out of the disc: its head fills it, the rest is cut off by the rim.
    QPainterPath disc;
    disc.addEllipse(QPointF(16 * s, 16 * s), 14.5 * s, 14.5 * s);
    p.save();
    p.setClipPath(disc);
    p.translate(16 * s, 21 * s);
    p.scale(0.36 * s, 0.36 * s);
    DrawFrog(p, 0.0);
    p.restore();
    p.setPen(QPen(QColor(120, 140, 220), 1.0 * s));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(16 * s, 16 * s), 15 * s, 15 * s);
    return image;
}

QImage PaintArrowIcon(int size, bool up) {
    // Sixteen-colour icons are drawn crisp, in exact colours of the standard sixteen: yellow
    // with a black outline and a white glint along the upper left edge.
    QImage image = NewCanvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int n = size;
    auto at = [&](double x, double y) { return QPointF(std::round(x * n / 32.0), std::round(y * n / 32.0)); };
    QPolygonF arrow{at(16, 3), at(28, 16), at(21, 16), at(21, 28), at(11, 28), at(11, 16), at(4, 16)};
    QPolygonF glint{at(15, 6), at(7, 15)};
    if (!up) {
        for (QPointF& pt : arrow) pt.setY(n - 1 - pt.y());
        for (QPointF& pt : glint) pt.setY(n - 1 - pt.y());
    }
    p.setPen(QPen(QColor(0, 0, 0), n >= 32 ? 2 : 1));
    p.setBrush(QColor(255, 255, 0));
    p.drawPolygon(arrow);
    if (n >= 32) {
        p.setPen(QPen(QColor(255, 255, 255), 1));
        p.drawLine(glint[0], glint[1]);
    }
    return image;
}

} // namespace plenova::datagen
