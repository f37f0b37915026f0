#include "dialogs/stand_ins.h"

#include <cmath>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "forms/form_support.h"

namespace plenova::dialogs {

namespace {

const QColor kYellow(255, 255, 0);

void DrawTriangle(QPixmap& pixmap, bool up) {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = pixmap.width();
    const double h = pixmap.height();
    QPainterPath path;
    if (up) {
        path.moveTo(w / 2, h * 0.2);
        path.lineTo(w * 0.85, h * 0.75);
        path.lineTo(w * 0.15, h * 0.75);
    } else {
        path.moveTo(w / 2, h * 0.8);
        path.lineTo(w * 0.85, h * 0.25);
        path.lineTo(w * 0.15, h * 0.25);
    }
    path.closeSubpath();
    painter.fillPath(path, QColor(0, 0, 160));
}

}  // namespace

void DrawTitleStandIn(QPixmap& pixmap) {
    QPainter painter(&pixmap);
    painter.setPen(kYellow);
    painter.setFont(forms::UiFont(16, true));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("Plenova Saver"));
}

void DrawStarStandIn(QPixmap& pixmap) {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF c(pixmap.width() / 2.0, pixmap.height() / 2.0);
    const double r = pixmap.width() / 2.0 - 1;
    QPainterPath path;
    for (int i = 0; i < 8; ++i) {
        const double radius = (i % 2 == 0) ? r : r / 3;
        const double angle = i * 3.14159265358979 / 4 - 3.14159265358979 / 2;
        const QPointF p(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle));
        if (i == 0) {
            path.moveTo(p);
        } else {
            path.lineTo(p);
        }
    }
    path.closeSubpath();
    painter.fillPath(path, kYellow);
}

void DrawUpIconStandIn(QPixmap& pixmap) { DrawTriangle(pixmap, true); }

void DrawDownIconStandIn(QPixmap& pixmap) { DrawTriangle(pixmap, false); }

void DrawPreviewStandIn(QPixmap& pixmap) {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = pixmap.width();
    const int h = pixmap.height();
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
        // Stars at fixed, scattered places (a multiplicative hash of the index).
        const int x = (i * 7919) % w;
        const int y = (i * 104729) % h;
        painter.fillRect(x, y, 2, 2, QColor(255, 255, 220));
    }
    painter.setBrush(QColor(200, 110, 50));
    painter.drawEllipse(QPointF(w * 0.25, h * 0.35), w * 0.12, w * 0.12);
    painter.setBrush(QColor(70, 120, 220));
    painter.drawEllipse(QPointF(w * 0.75, h * 0.6), w * 0.07, w * 0.07);
    painter.setPen(kYellow);
    painter.setFont(forms::UiFont(14, true));
    painter.drawText(QRect(0, h * 3 / 4, w, h / 4), Qt::AlignCenter, QStringLiteral("Plenova Saver"));
}

}  // namespace plenova::dialogs
