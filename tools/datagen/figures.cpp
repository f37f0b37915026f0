// Figures drawn with QPainter: the rocket, the satellite, the comet, the astronaut and the
// flying saucer. Light comes from the upper left in every figure.
#include "art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace plenova::datagen {

namespace {

constexpr double kPi = 3.14159265358979;

void Prepare(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// Soft light: a radial fall-off from `color` to nothing.
QRadialGradient Glow(QPointF center, double radius, QColor color, double innerAlpha = 1.0) {
    QRadialGradient g(center, radius);
    QColor c0 = color;
    c0.setAlphaF(static_cast<float>(innerAlpha));
    QColor c1 = color;
    c1.setAlphaF(static_cast<float>(innerAlpha * 0.45));
    QColor c2 = color;
    c2.setAlpha(0);
    g.setColorAt(0, c0);
    g.setColorAt(0.45, c1);
    g.setColorAt(1, c2);
    return g;
}

// A cylinder lit from above: light band near the top, dark underside.
QLinearGradient Cylinder(double top, double bottom, QColor base) {
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0.0, base.darker(130));
    g.setColorAt(0.22, base.lighter(125));
    g.setColorAt(0.4, base);
    g.setColorAt(1.0, base.darker(240));
    return g;
}

// --- Rocket: body along x, nose to the right, flame to the left --------------------------

void DrawRocketBody(QPainter& p) {
    const QColor outline(38, 34, 48);
    const double cy = 20;
    // Fins behind the body.
    QPainterPath fins;
    fins.moveTo(34, cy - 6);
    fins.lineTo(26, cy - 17);
    fins.lineTo(34, cy - 17);
    fins.lineTo(48, cy - 6);
    fins.closeSubpath();
    fins.moveTo(34, cy + 6);
    fins.lineTo(26, cy + 17);
    fins.lineTo(34, cy + 17);
    fins.lineTo(48, cy + 6);
    fins.closeSubpath();
    QLinearGradient finFill(0, cy - 17, 0, cy + 17);
    finFill.setColorAt(0, QColor(236, 80, 64));
    finFill.setColorAt(0.5, QColor(200, 40, 40));
    finFill.setColorAt(1, QColor(120, 20, 30));
    p.setPen(RoundPen(outline));
    p.setBrush(finFill);
    p.drawPath(fins);

    // Nozzle.
    QPainterPath nozzle;
    nozzle.moveTo(30, cy - 5);
    nozzle.lineTo(24, cy - 7.5);
    nozzle.lineTo(24, cy + 7.5);
    nozzle.lineTo(30, cy + 5);
    nozzle.closeSubpath();
    p.setBrush(Cylinder(cy - 7.5, cy + 7.5, QColor(120, 124, 136)));
    p.drawPath(nozzle);

    // Hull and nose cone as one outline.
    QPainterPath hull;
    hull.moveTo(30, cy - 8);
    hull.lineTo(64, cy - 8);
    hull.cubicTo(76, cy - 8, 86, cy - 4, 92, cy);
    hull.cubicTo(86, cy + 4, 76, cy + 8, 64, cy + 8);
    hull.lineTo(30, cy + 8);
    hull.closeSubpath();
    p.setBrush(Cylinder(cy - 8, cy + 8, QColor(228, 230, 238)));
    p.drawPath(hull);
    // Red nose cone painted over the hull's front.
    p.save();
    p.setClipPath(hull);
    QPainterPath noseArea;
    noseArea.addRect(QRectF(70, 0, 30, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(Cylinder(cy - 8, cy + 8, QColor(222, 52, 48)));
    p.drawPath(noseArea);
    p.setPen(RoundPen(outline, 1.0));
    p.drawLine(QPointF(70, cy - 9), QPointF(70, cy + 9));
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(RoundPen(outline));
    p.drawPath(hull);

    // Middle fin seen edge-on.
    QPainterPath mid;
    mid.moveTo(34, cy - 1.6);
    mid.lineTo(48, cy - 1.6);
    mid.lineTo(48, cy + 1.6);
    mid.lineTo(30, cy + 1.6);
    mid.closeSubpath();
    p.setBrush(QColor(170, 30, 36));
    p.setPen(RoundPen(outline, 1.0));
    p.drawPath(mid);

    // Porthole.
    const QPointF window(57, cy - 0.5);
    p.setPen(RoundPen(outline, 1.2));
    p.setBrush(QColor(150, 156, 170));
    p.drawEllipse(window, 5.2, 5.2);
    QRadialGradient glass(window + QPointF(-1.5, -1.5), 5);
    glass.setColorAt(0, QColor(170, 230, 255));
    glass.setColorAt(0.6, QColor(50, 120, 200));
    glass.setColorAt(1, QColor(20, 50, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(window, 3.6, 3.6);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawEllipse(window + QPointF(-1.3, -1.4), 1.1, 1.1);
}

Layered PaintRocket(int frame) {
    Layered out{NewCanvas(96, 40), NewCanvas(96, 40)};
    // Flame: four shapes of differing length and flicker.
    static const double kLength[4] = {19, 23, 16, 21};
    static const double kWobble[4] = {0.0, 1.2, -0.8, 0.6};
    const double len = kLength[frame], cy = 20 + kWobble[frame] * 0.4;
    {
        QPainter p(&out.glow);
        Prepare(p);
        p.setPen(Qt::NoPen);
        p.setBrush(Glow(QPointF(24 - len * 0.45, cy), len * 0.75, QColor(255, 150, 40), 0.95));
        p.drawEllipse(QPointF(24 - len * 0.45, cy), len * 0.75, 9 + kWobble[frame]);
    }
    QPainter p(&out.body);
    Prepare(p);
    auto flame = [&](double length, double half, QColor outer, QColor inner) {
        QPainterPath path;
        path.moveTo(25, cy - half);
        path.cubicTo(18, cy - half * 1.1, 24 - length * 0.6, cy - half * 0.6 + kWobble[frame], 24 - length, cy + kWobble[frame] * 0.5);
        path.cubicTo(24 - length * 0.6, cy + half * 0.6 + kWobble[frame], 18, cy + half * 1.1, 25, cy + half);
        path.closeSubpath();
        QLinearGradient g(24 - length, 0, 25, 0);
        g.setColorAt(0, outer);
        g.setColorAt(1, inner);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(path);
    };
    flame(len, 6.5, QColor(230, 70, 20), QColor(255, 170, 40));
    flame(len * 0.62, 4.2, QColor(255, 160, 40), QColor(255, 240, 150));
    flame(len * 0.3, 2.4, QColor(255, 230, 140), QColor(255, 255, 240));
    DrawRocketBody(p);
    return out;
}

// --- Satellite ----------------------------------------------------------------------------

void SolarPanel(QPainter& p, QRectF r) {
    const QColor outline(30, 32, 44);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(70, 110, 200));
    g.setColorAt(0.45, QColor(36, 60, 140));
    g.setColorAt(1, QColor(18, 30, 80));
    p.setPen(RoundPen(outline, 1.3));
    p.setBrush(g);
    p.drawRect(r);
    p.setPen(QPen(QColor(120, 160, 230, 170), 0.8));
    for (int i = 1; i < 4; ++i) {
        const double x = r.left() + r.width() * i / 4;
        p.drawLine(QPointF(x, r.top() + 1), QPointF(x, r.bottom() - 1));
    }
    for (int i = 1; i < 3; ++i) {
        const double y = r.top() + r.height() * i / 3;
        p.drawLine(QPointF(r.left() + 1, y), QPointF(r.right() - 1, y));
    }
    // Sheen across the cells.
    QLinearGradient sheen(r.topLeft(), r.bottomRight());
    sheen.setColorAt(0.2, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.32, QColor(200, 225, 255, 90));
    sheen.setColorAt(0.44, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRect(r.adjusted(1, 1, -1, -1));
}

} // namespace

std::vector<Layered> PaintRocketFrames() {
    std::vector<Layered> frames;
    for (int i = 0; i < 4; ++i) frames.push_back(PaintRocket(i));
    return frames;
}

Layered PaintSatellite() {
    Layered out{NewCanvas(120, 64), QImage()};
    QPainter p(&out.body);
    Prepare(p);
    p.translate(60, 34);
    p.rotate(-8);
    const QColor outline(34, 30, 36);
    // Struts.
    p.setPen(RoundPen(outline, 3.2));
    p.drawLine(QPointF(-50, 0), QPointF(50, 0));
    p.setPen(RoundPen(QColor(190, 192, 200), 1.4));
    p.drawLine(QPointF(-50, 0), QPointF(50, 0));
    SolarPanel(p, QRectF(-56, -11, 38, 22));
    SolarPanel(p, QRectF(18, -11, 38, 22));
    // Body in gold foil.
    QRectF body(-13, -14, 26, 28);
    QLinearGradient foil(body.topLeft(), body.bottomRight());
    foil.setColorAt(0, QColor(255, 226, 120));
    foil.setColorAt(0.35, QColor(222, 168, 52));
    foil.setColorAt(0.7, QColor(176, 120, 30));
    foil.setColorAt(1, QColor(110, 70, 20));
    p.setPen(RoundPen(outline, 1.4));
    p.setBrush(foil);
    p.drawRoundedRect(body, 2.5, 2.5);
    p.setPen(QPen(QColor(255, 240, 170, 150), 0.9));
    p.drawLine(QPointF(-9, -8), QPointF(-2, -11));
    p.drawLine(QPointF(-10, 2), QPointF(6, -7));
    p.drawLine(QPointF(-6, 10), QPointF(9, 3));
    p.setPen(QPen(QColor(120, 80, 20, 160), 0.9));
    p.drawLine(QPointF(2, 11), QPointF(10, 7));
    p.drawLine(QPointF(-11, -2), QPointF(0, -9));
    // Dish antenna on top, on a short mast.
    p.setPen(RoundPen(outline, 2.4));
    p.drawLine(QPointF(0, -14), QPointF(0, -19));
    p.setPen(RoundPen(QColor(200, 200, 210), 1.0));
    p.drawLine(QPointF(0, -14), QPointF(0, -19));
    QPainterPath dish;
    dish.moveTo(-12, -22);
    dish.quadTo(0, -14, 12, -22);
    dish.quadTo(0, -26, -12, -22);
    QLinearGradient dishFill(-12, -26, 12, -16);
    dishFill.setColorAt(0, QColor(250, 250, 252));
    dishFill.setColorAt(0.6, QColor(196, 198, 210));
    dishFill.setColorAt(1, QColor(120, 124, 140));
    p.setPen(RoundPen(outline, 1.3));
    p.setBrush(dishFill);
    p.drawPath(dish);
    p.setPen(RoundPen(QColor(60, 60, 70), 1.0));
    p.drawLine(QPointF(0, -22), QPointF(0, -28));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 60, 50));
    p.drawEllipse(QPointF(0, -28.5), 1.6, 1.6);
    // Whip antenna below.
    p.setPen(RoundPen(QColor(60, 60, 70), 1.8));
    p.drawLine(QPointF(6, 14), QPointF(12, 24));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 220, 230));
    p.drawEllipse(QPointF(12, 24), 1.3, 1.3);
    return out;
}

Layered PaintComet() {
    Layered out{NewCanvas(160, 56), NewCanvas(160, 56)};
    const QPointF head(138, 26);
    {
        QPainter p(&out.glow);
        Prepare(p);
        p.setPen(Qt::NoPen);
        // Dust tail: broad, curving a little downward, warm white.
        QPainterPath dust;
        dust.moveTo(head + QPointF(0, -7));
        dust.cubicTo(100, 14, 50, 18, 4, 34);
        dust.cubicTo(40, 44, 100, 40, head.x(), head.y() + 8);
        dust.closeSubpath();
        QLinearGradient dustFill(head.x(), 0, 4, 0);
        dustFill.setColorAt(0, QColor(255, 246, 220, 200));
        dustFill.setColorAt(0.35, QColor(250, 220, 170, 110));
        dustFill.setColorAt(1, QColor(240, 200, 150, 0));
        p.setBrush(dustFill);
        p.drawPath(dust);
        // Ion tail: narrow, straight and blue.
        QPainterPath ion;
        ion.moveTo(head + QPointF(0, -3));
        ion.lineTo(6, 14);
        ion.lineTo(6, 20);
        ion.lineTo(head.x(), head.y() + 3);
        ion.closeSubpath();
        QLinearGradient ionFill(head.x(), 0, 6, 0);
        ionFill.setColorAt(0, QColor(160, 220, 255, 230));
        ionFill.setColorAt(0.5, QColor(100, 170, 255, 120));
        ionFill.setColorAt(1, QColor(80, 140, 255, 0));
        p.setBrush(ionFill);
        p.drawPath(ion);
        // Coma.
        p.setBrush(Glow(head, 17, QColor(200, 236, 255), 0.95));
        p.drawEllipse(head, 17, 17);
    }
    QPainter p(&out.body);
    Prepare(p);
    p.setPen(Qt::NoPen);
    QRadialGradient core(head + QPointF(-1, -1), 6.5);
    core.setColorAt(0, QColor(255, 255, 255));
    core.setColorAt(0.5, QColor(220, 244, 255));
    core.setColorAt(1, QColor(140, 200, 255, 0));
    p.setBrush(core);
    p.drawEllipse(head, 6.5, 6.5);
    return out;
}

Layered PaintAstronaut() {
    Layered out{NewCanvas(64, 80), QImage()};
    QPainter p(&out.body);
    Prepare(p);
    p.translate(32, 40);
    p.rotate(-12);
    const QColor outline(44, 46, 60);
    const QColor suit(238, 240, 246);
    auto limb = [&](QPointF a, QPointF b, QPointF c, double width, QColor color) {
        QPainterPath path;
        path.moveTo(a);
        path.quadTo(b, c);
        p.setBrush(Qt::NoBrush);
        p.setPen(RoundPen(outline, width + 2.6));
        p.drawPath(path);
        p.setPen(RoundPen(color, width));
        p.drawPath(path);
        p.setPen(RoundPen(color.darker(135), width * 0.35));
        p.drawPath(path.translated(0.9, 1.1));
    };
    // Backpack.
    p.setPen(RoundPen(outline));
    p.setBrush(Cylinder(-18, 8, QColor(196, 198, 210)));
    p.drawRoundedRect(QRectF(-14, -16, 28, 24), 4, 4);
    // Legs, floating apart.
    limb(QPointF(-6, 8), QPointF(-12, 18), QPointF(-16, 28), 8, suit);
    limb(QPointF(6, 8), QPointF(10, 18), QPointF(8, 29), 8, suit);
    // Boots.
    p.setPen(RoundPen(outline));
    p.setBrush(QColor(120, 124, 140));
    p.drawRoundedRect(QRectF(-22, 26, 11, 7), 3, 3);
    p.drawRoundedRect(QRectF(4, 27, 11, 7), 3, 3);
    // Arms: the left one waving.
    limb(QPointF(-9, -6), QPointF(-20, -12), QPointF(-22, -25), 7, suit);
    limb(QPointF(9, -5), QPointF(19, 0), QPointF(22, 10), 7, suit);
    // Gloves.
    p.setPen(RoundPen(outline));
    p.setBrush(QColor(200, 90, 60));
    p.drawEllipse(QPointF(-22, -27), 4.2, 4.2);
    p.drawEllipse(QPointF(22, 12), 4.2, 4.2);
    // Torso.
    QPainterPath torso;
    torso.addRoundedRect(QRectF(-11, -12, 22, 24), 7, 7);
    QLinearGradient torsoFill(-11, -12, 11, 12);
    torsoFill.setColorAt(0, QColor(255, 255, 255));
    torsoFill.setColorAt(0.5, suit);
    torsoFill.setColorAt(1, QColor(170, 174, 190));
    p.setPen(RoundPen(outline));
    p.setBrush(torsoFill);
    p.drawPath(torso);
    // Chest panel with three lights.
    p.setBrush(QColor(90, 96, 116));
    p.drawRoundedRect(QRectF(-6, -3, 12, 8), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 70, 60));
    p.drawEllipse(QPointF(-3, 1), 1.4, 1.4);
    p.setBrush(QColor(90, 230, 90));
    p.drawEllipse(QPointF(0.5, 1), 1.4, 1.4);
    p.setBrush(QColor(80, 170, 255));
    p.drawEllipse(QPointF(3.8, 1), 1.4, 1.4);
    // Helmet.
    const QPointF headCenter(0, -20);
    QRadialGradient shell(headCenter + QPointF(-4, -4), 14);
    shell.setColorAt(0, QColor(255, 255, 255));
    shell.setColorAt(0.7, suit);
    shell.setColorAt(1, QColor(160, 164, 182));
    p.setPen(RoundPen(outline, 1.5));
    p.setBrush(shell);
    p.drawEllipse(headCenter, 12.5, 12);
    // Gold visor with the reflection of a bright window of light.
    QPainterPath visor;
    visor.addRoundedRect(QRectF(-9, -27, 18, 13), 6, 6);
    QLinearGradient visorFill(-9, -27, 9, -14);
    visorFill.setColorAt(0, QColor(255, 236, 150));
    visorFill.setColorAt(0.35, QColor(236, 160, 40));
    visorFill.setColorAt(1, QColor(120, 60, 20));
    p.setPen(RoundPen(outline, 1.2));
    p.setBrush(visorFill);
    p.drawPath(visor);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 240, 220));
    QPainterPath glint;
    glint.moveTo(-6, -24);
    glint.quadTo(-4, -26.5, 0, -25.5);
    glint.quadTo(-4, -24.5, -5.5, -21.5);
    glint.closeSubpath();
    p.drawPath(glint);
    return out;
}

std::vector<Layered> PaintSaucerFrames() {
    std::vector<Layered> frames;
    for (int frame = 0; frame < 4; ++frame) {
        Layered out{NewCanvas(96, 56), NewCanvas(96, 56)};
        const QColor outline(30, 32, 44);
        {
            QPainter g(&out.glow);
            Prepare(g);
            g.setPen(Qt::NoPen);
            // Soft light under the saucer, pulsing a little.
            g.setBrush(Glow(QPointF(48, 42), 18 + frame % 2, QColor(120, 255, 200), 0.7));
            g.drawEllipse(QPointF(48, 43), 22 + frame % 2, 10);
        }
        QPainter p(&out.body);
        Prepare(p);
        // Glass dome with a little green pilot.
        QPainterPath dome;
        dome.moveTo(28, 30);
        dome.cubicTo(28, 3, 68, 3, 68, 30);
        dome.closeSubpath();
        p.setPen(RoundPen(outline));
        p.setBrush(QColor(30, 70, 110));
        p.drawPath(dome);
        p.save();
        p.setClipPath(dome);
        p.setPen(RoundPen(QColor(20, 70, 30), 1.0));
        p.setBrush(QColor(110, 210, 90));
        p.drawEllipse(QPointF(48, 22), 8.5, 8);
        p.drawEllipse(QPointF(48, 33), 6, 6);
        p.setPen(RoundPen(QColor(20, 70, 30), 1.2));
        p.drawLine(QPointF(44, 15), QPointF(41, 9));
        p.drawLine(QPointF(52, 15), QPointF(55, 9));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 255, 120));
        p.drawEllipse(QPointF(41, 9), 1.8, 1.8);
        p.drawEllipse(QPointF(55, 9), 1.8, 1.8);
        p.setBrush(QColor(10, 20, 10));
        p.drawEllipse(QPointF(45, 21), 2.0, 2.6);
        p.drawEllipse(QPointF(51, 21), 2.0, 2.6);
        p.setBrush(QColor(255, 255, 255));
        p.drawEllipse(QPointF(44.4, 20.2), 0.8, 0.8);
        p.drawEllipse(QPointF(50.4, 20.2), 0.8, 0.8);
        p.setPen(RoundPen(QColor(20, 70, 30), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(45, 22.5, 6, 4), 200 * 16, 140 * 16);
        p.setPen(Qt::NoPen);
        QRadialGradient glass(QPointF(40, 12), 24);
        glass.setColorAt(0, QColor(220, 250, 255, 120));
        glass.setColorAt(0.4, QColor(120, 200, 255, 40));
        glass.setColorAt(1, QColor(60, 140, 220, 30));
        p.setBrush(glass);
        p.drawPath(dome);
        p.setBrush(QColor(255, 255, 255, 230));
        QPainterPath shine;
        shine.moveTo(33, 22);
        shine.quadTo(33, 11, 42, 8);
        shine.quadTo(36, 13, 36, 22);
        shine.closeSubpath();
        p.drawPath(shine);
        p.restore();
        // Underside.
        p.setPen(RoundPen(outline));
        p.setBrush(Cylinder(32, 44, QColor(110, 116, 134)));
        p.drawEllipse(QPointF(48, 37), 22, 7);
        // Disc.
        QLinearGradient disc(0, 24, 0, 40);
        disc.setColorAt(0, QColor(250, 252, 255));
        disc.setColorAt(0.35, QColor(200, 206, 220));
        disc.setColorAt(0.6, QColor(150, 156, 174));
        disc.setColorAt(1, QColor(80, 84, 104));
        p.setBrush(disc);
        p.drawEllipse(QPointF(48, 32), 44, 9.5);
        p.setPen(QPen(QColor(90, 94, 112), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(48, 32.5), 36, 5.5);
        // Chasing lights around the rim.
        static const QColor kLights[3] = {QColor(255, 220, 60), QColor(255, 80, 70), QColor(90, 230, 255)};
        for (int k = 0; k < 9; ++k) {
            const double t = -0.85 * kPi / 2 + k * (0.85 * kPi / 8);
            const QPointF at(48 + 38 * std::sin(t), 35.2 + 2.6 * std::cos(t));
            const bool lit = (k + frame) % 4 == 0;
            const QColor c = kLights[k % 3];
            p.setPen(RoundPen(outline, 0.8));
            p.setBrush(lit ? c.lighter(120) : c.darker(190));
            p.drawEllipse(at, 2.3, 1.9);
            if (lit) {
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(255, 255, 255));
                p.drawEllipse(at + QPointF(-0.5, -0.5), 0.8, 0.7);
            }
        }
        frames.push_back(std::move(out));
    }
    return frames;
}

} // namespace plenova::datagen
