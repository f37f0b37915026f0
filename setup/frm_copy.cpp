#include "setup/frm_copy.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace plenova::setup {

namespace {

// A centred one-line label that shortens a path too long for it in the middle, so both its
// start (the drive) and its end (the file name) stay visible; text() keeps the whole path.
class PathLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, width());
        painter.drawText(rect(), static_cast<int>(alignment()) | Qt::TextSingleLine, shown);
    }
};

QLabel* MakeFileLabel(QWidget* parent, const QString& name, double top) {
    auto* label = new PathLabel(parent);
    label->setObjectName(name);
    label->setGeometry(forms::TwipsRect(540, top, 3912, 372));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

}  // namespace

frmCopy::frmCopy(std::function<void()> onStop, QWidget* parent)
    : Form(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      onStop_(std::move(onStop)) {
    setObjectName(QStringLiteral("frmCopy"));
    setWindowTitle(QStringLiteral("コピー中"));
    setFont(forms::UiFont(9));
    SetFixedClientTwips(5070, 2565);

    cmdStop = forms::MakeButton(this, QStringLiteral("cmdStop"), QStringLiteral("中止"), 1800,
                                  1920, 1392, 372);
    labsrcfile = MakeFileLabel(this, QStringLiteral("labsrcfile"), 480);
    labdstfile = MakeFileLabel(this, QStringLiteral("labdstfile"), 1080);

    QObject::connect(cmdStop, &QPushButton::clicked, this, [this] { cmdStop_Click(); });
    // Enter on the button and Esc ask whether to stop, as the button does.
    SetDialogButtons(nullptr, cmdStop);
}

void frmCopy::Form_Load() { CenterOnScreen(); }

void frmCopy::cmdStop_Click() {
    if (onStop_) onStop_();
}

void frmCopy::Form_Unload(int& cancel) {
    if (closing_) return;
    // Without its window the copy could no longer be stopped.
    cancel = 1;
    cmdStop_Click();
}

void frmCopy::UnloadByProgram() {
    closing_ = true;
    Unload();
    closing_ = false;
}

}  // namespace plenova::setup
