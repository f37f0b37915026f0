#include "platform/qt/panel.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace plenova::platform {

void UseDesktopColours(QWidget& panel) {
    QPalette own = panel.palette();
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText}) {
        own.setColor(role, QApplication::palette().color(role));
    }
    panel.setPalette(own);
}

int PanelTitleHeight(const QWidget& panel) { return panel.fontMetrics().height() + 8; }

void PaintPanelTitle(QPainter& painter, const QWidget& panel, const QRect& bar,
                     const QString& title) {
    painter.fillRect(bar, panel.palette().color(QPalette::Highlight));
    painter.setPen(panel.palette().color(QPalette::HighlightedText));
    painter.drawText(bar.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, title);
}

}  // namespace plenova::platform
