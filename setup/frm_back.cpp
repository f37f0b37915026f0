#include "setup/frm_back.h"

#include <QPaintEvent>
#include <QPainter>

#include "platform/screen.h"
#include "setup/module1.h"

namespace plenova::setup {

namespace {
// Where the title starts, in twips from the top-left corner.
constexpr double kTitleLeft = 200;
constexpr double kTitleTop = 150;
constexpr double kTitlePoints = 24;
}  // namespace

frmBack::frmBack(QWidget* parent) : Form(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmBack"));
    setWindowTitle(QStringLiteral("セットアッププログラム"));
    setFont(forms::UiFont(kTitlePoints));
    // The image covers every pixel; nothing is to be erased below it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void frmBack::ShowBackground(const QString& title) {
    Load();
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    SetTwipsGeometry(0, 0, static_cast<double>(screen.WidthTwips()),
                     static_cast<double>(screen.HeightTwips()));
    picture_ = QImage(size(), QImage::Format_RGB32);
    picture_.fill(Qt::black);
    DrawBands();
    DrawTitle(title);
    update();
    Show();
}

void frmBack::DrawBands() {
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    QPainter painter(&picture_);
    for (const BackgroundBand& band : Module1::BackgroundBands(
             Width(), Height(), screen.twipsPerPixelX, screen.twipsPerPixelY)) {
        painter.fillRect(QRect(band.left, band.top, band.right - band.left, band.bottom - band.top),
                         forms::ColorWord(band.colour));
    }
}

void frmBack::DrawTitle(const QString& title) {
    QPainter painter(&picture_);
    painter.setFont(font());
    painter.setPen(Qt::white);
    // The drawing position is the text's top-left corner; the text has no background.
    const QPoint at(forms::TwipsToPixelsX(kTitleLeft), forms::TwipsToPixelsY(kTitleTop));
    painter.drawText(QRect(at, picture_.size()), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     title);
}

void frmBack::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (picture_.isNull()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    painter.drawImage(event->rect(), picture_, event->rect());
}

}  // namespace plenova::setup
