// The frog: a cheerful green frog seen from the front, floating spread out in space and
// paddling with a loopable breaststroke.
#include "art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace plenova::datagen {

namespace {

constexpr double kPi = 3.14159265358979;

const QColor kOutline(22, 64, 30);
const QColor kSkin(96, 190, 64);
const QColor kSkinLight(170, 232, 100);
const QColor kSkinDark(44, 120, 44);
const QColor kBelly(226, 240, 160);

QRadialGradient SkinGradient(QPointF center, double radius) {
    QRadialGradient g(center + QPointF(-radius * 0.35, -radius * 0.4), radius * 1.25);
    g.setColorAt(0.0, kSkinLight);
    g.setColorAt(0.45, kSkin);
    g.setColorAt(1.0, kSkinDark);
    return g;
}

// A limb as a bent tube from `a` through the joint `b` to `c`, outlined, with a light stripe.
void Limb(QPainter& p, QPointF a, QPointF b, QPointF c, double widthA, double widthC) {
    auto segment = [&](QPointF from, QPointF to, double w) {
        p.drawLine(from, to);
        (void)w;
    };
    const double wb = (widthA + widthC) / 2;
    p.setPen(RoundPen(kOutline, widthA + 2.4));
    segment(a, b, widthA);
    p.setPen(RoundPen(kOutline, wb + 2.4));
    segment(b, c, wb);
    p.setPen(RoundPen(kSkin, widthA));
    segment(a, b, widthA);
    p.setPen(RoundPen(kSkin, wb));
    segment(b, c, wb);
    // Highlight along the upper side of each segment.
    p.setPen(RoundPen(kSkinLight, widthA * 0.35));
    segment(a + QPointF(-0.6, -widthA * 0.22), b + QPointF(-0.6, -widthA * 0.22), 0);
    p.setPen(RoundPen(kSkinLight, wb * 0.3));
    segment(b + QPointF(-0.4, -wb * 0.22), c + QPointF(-0.4, -wb * 0.22), 0);
}

// A webbed hand or foot at `wrist`, fingers fanned around `direction` (radians).
void Foot(QPainter& p, QPointF wrist, double direction, double length, double spread, int toes) {
    QPainterPath web;
    std::vector<QPointF> tips;
    for (int i = 0; i < toes; ++i) {
        const double a = direction + spread * (i - (toes - 1) / 2.0) / std::max(1, toes - 1);
        tips.push_back(wrist + QPointF(std::cos(a), std::sin(a)) * length);
    }
    web.moveTo(wrist);
    for (std::size_t i = 0; i < tips.size(); ++i) {
        if (i == 0)
            web.lineTo(tips[i]);
        else {
            // The web between two toes dips back towards the wrist.
            const QPointF mid = (tips[i - 1] + tips[i]) / 2;
            web.quadTo(wrist + (mid - wrist) * 0.62, tips[i]);
        }
    }
    web.closeSubpath();
    p.setPen(RoundPen(kOutline, 1.3));
    p.setBrush(QColor(120, 200, 80));
    p.drawPath(web);
    for (const QPointF& tip : tips) {
        p.setPen(RoundPen(kOutline, 3.6));
        p.drawLine(wrist, tip);
        p.setPen(RoundPen(kSkin, 1.6));
        p.drawLine(wrist, tip);
    }
    for (const QPointF& tip : tips) {
        p.setPen(RoundPen(kOutline, 1.0));
        p.setBrush(QColor(200, 240, 130));
        p.drawEllipse(tip, 2.3, 2.3);
    }
}

QPointF Polar(QPointF origin, double angle, double length) {
    return origin + QPointF(std::cos(angle), std::sin(angle)) * length;
}

void Eye(QPainter& p, QPointF center, double look) {
    // Green bulge, white eyeball, big pupil and two glints.
    p.setPen(RoundPen(kOutline, 1.6));
    p.setBrush(SkinGradient(center, 13));
    p.drawEllipse(center, 13.5, 13);
    const QPointF ball = center + QPointF(0, 1.5);
    QRadialGradient white(ball + QPointF(-3, -3), 12);
    white.setColorAt(0, QColor(255, 255, 255));
    white.setColorAt(0.7, QColor(240, 244, 236));
    white.setColorAt(1, QColor(186, 200, 180));
    p.setPen(RoundPen(kOutline, 1.2));
    p.setBrush(white);
    p.drawEllipse(ball, 10, 10);
    const QPointF pupil = ball + QPointF(look, 1.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(16, 18, 22));
    p.drawEllipse(pupil, 5.6, 6.4);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(pupil + QPointF(-2.0, -2.4), 2.1, 2.1);
    p.drawEllipse(pupil + QPointF(2.0, 2.2), 0.9, 0.9);
}

} // namespace

void DrawFrog(QPainter& p, double phase) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    // Breaststroke: the legs kick out while the arms sweep in, then the reverse.
    const double s = std::sin(2 * kPi * phase);
    const double c = std::cos(2 * kPi * phase);
    const double kick = 0.5 - 0.5 * c; // 0 tucked .. 1 stretched
    p.translate(0, 1.2 * s);
    p.rotate(3.0 * s);

    for (int side = -1; side <= 1; side += 2) {
        // Hind leg: thigh out to the knee, shin back in to the ankle, long webbed foot.
        const QPointF hip(side * 17, 30);
        const double thighAngle = side < 0 ? kPi - (0.15 + 0.35 * kick) : (0.15 + 0.35 * kick);
        const QPointF knee = Polar(hip, thighAngle, 22 - 2 * kick);
        const double shinAngle = side < 0 ? kPi - (1.9 - 1.05 * kick) : (1.9 - 1.05 * kick);
        const QPointF ankle = Polar(knee, shinAngle, 18 + 3 * kick);
        const double footAngle = side < 0 ? kPi - (1.25 - 0.55 * kick) : (1.25 - 0.55 * kick);
        Foot(p, ankle, footAngle, 14 + 2 * kick, 0.95 + 0.25 * kick, 4);
        Limb(p, hip, knee, ankle, 11, 7);
        // Front leg: upper arm out, forearm up, small hand.
        const QPointF shoulder(side * 21, 0);
        const double upperAngle = side < 0 ? kPi + (0.15 - 0.35 * kick) : -(0.15 - 0.35 * kick);
        const QPointF elbow = Polar(shoulder, upperAngle, 17);
        const double foreAngle = side < 0 ? kPi + (0.9 - 0.55 * kick) : -(0.9 - 0.55 * kick);
        const QPointF wrist = Polar(elbow, foreAngle, 13);
        const double handAngle = side < 0 ? kPi + (1.0 - 0.5 * kick) : -(1.0 - 0.5 * kick);
        Foot(p, wrist, handAngle, 8.5, 1.2, 4);
        Limb(p, shoulder, elbow, wrist, 7, 5.5);
    }

    // Body and head as one outline.
    QPainterPath body;
    body.addEllipse(QPointF(0, 13), 27, 31);
    QPainterPath head;
    head.addEllipse(QPointF(0, -16), 35, 22);
    const QPainterPath shape = body.united(head);
    p.setPen(RoundPen(kOutline, 2.0));
    p.setBrush(SkinGradient(QPointF(0, -4), 44));
    p.drawPath(shape);
    // Pale belly.
    QRadialGradient belly(QPointF(-4, 14), 26);
    belly.setColorAt(0, QColor(248, 252, 210));
    belly.setColorAt(0.7, kBelly);
    belly.setColorAt(1, QColor(190, 214, 120));
    p.setPen(RoundPen(QColor(150, 190, 90), 1.0));
    p.setBrush(belly);
    p.drawEllipse(QPointF(0, 19), 18, 21);
    // Spots on the head and sides.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(58, 140, 48, 200));
    p.drawEllipse(QPointF(-22, 10), 3.2, 4.2);
    p.drawEllipse(QPointF(23, 14), 2.6, 3.6);
    p.drawEllipse(QPointF(-19, 27), 2.4, 2.8);
    p.drawEllipse(QPointF(20, 30), 2.2, 2.6);
    p.drawEllipse(QPointF(0, -31), 2.6, 1.8);

    // Eyes on top of the head.
    Eye(p, QPointF(-19, -30), 1.2);
    Eye(p, QPointF(19, -30), -1.2);

    // Rosy cheeks and a wide smile.
    p.setBrush(QColor(255, 130, 150, 150));
    p.drawEllipse(QPointF(-24, -8), 5, 3.2);
    p.drawEllipse(QPointF(24, -8), 5, 3.2);
    QPainterPath smile;
    smile.moveTo(-17, -10);
    smile.cubicTo(-8, -1, 8, -1, 17, -10);
    p.setPen(RoundPen(kOutline, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(smile);
    // Nostrils.
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    p.drawEllipse(QPointF(-4, -16), 1.2, 0.9);
    p.drawEllipse(QPointF(4, -16), 1.2, 0.9);
    p.restore();
}

std::vector<Layered> PaintFrogFrames() {
    std::vector<Layered> frames;
    for (int i = 0; i < 9; ++i) {
        Layered out{NewCanvas(128, 128), QImage()};
        QPainter p(&out.body);
        p.translate(64, 60);
        p.scale(0.9, 0.9);
        DrawFrog(p, i / 9.0);
        frames.push_back(std::move(out));
    }
    return frames;
}

} // namespace plenova::datagen
