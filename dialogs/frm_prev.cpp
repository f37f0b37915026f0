#include "dialogs/frm_prev.h"

#include <QLabel>
#include <QPainter>
#include <QTimer>

#include "dialogs/stand_ins.h"
#include "platform/events.h"
#include "assets/asset_names.h"

namespace plenova::dialogs {

namespace {
constexpr int kBorder = 1;  // the thin border, in pixels
}

frmPrev::frmPrev(QWidget* parent) : forms::Form(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmPrev"));
    setWindowTitle(QString());
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    imgPrev = new QLabel(client_);
    imgPrev->setObjectName(QStringLiteral("imgPrev"));
    imgPrev->setScaledContents(true);  // the picture is stretched to the control's size
    imgPrev->setPixmap(forms::LoadResourcePicture(
        assets::kPreview, {assets::kPreviewWidth, assets::kPreviewHeight}, DrawPreviewStandIn));
    imgPrev->setGeometry(0, 0, 310, 232);

    // Design size: a client area of 5385 x 3975 twips inside the border.
    const QRect client = forms::TwipsRect(0, 0, 5385, 3975);
    resize(client.width() + 2 * kBorder, client.height() + 2 * kBorder);
}

frmPrev::~frmPrev() = default;

void frmPrev::WatchHost(platform::ForeignWindowHandle host, int intervalMs) {
    watch_ = std::make_unique<platform::ForeignWindowWatch>(
        host,
        [this] {
            // The host window is gone, and our window with it: unload, which ends the program.
            // Deferred, so that the watch is not destroyed from inside its own callback.
            QTimer::singleShot(0, this, [this] {
                watch_.reset();
                Unload();
            });
        },
        intervalMs);
}

void frmPrev::Form_Unload(int&) {
    watch_.reset();
    platform::PostQuit(0);
}

void frmPrev::resizeEvent(QResizeEvent* event) {
    forms::Form::resizeEvent(event);
    client_->setGeometry(kBorder, kBorder, std::max(0, width() - 2 * kBorder),
                         std::max(0, height() - 2 * kBorder));
}

void frmPrev::paintEvent(QPaintEvent* event) {
    forms::Form::paintEvent(event);
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace plenova::dialogs
