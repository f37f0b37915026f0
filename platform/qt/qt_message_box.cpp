#include "platform/qt/qt_message_box.h"

#include <iostream>

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include "platform/qt/panel.h"
#include "platform/window_system.h"

namespace plenova::platform {

namespace {

QMessageBox::Icon ToQt(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::None: return QMessageBox::NoIcon;
        case MsgIcon::Critical: return QMessageBox::Critical;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::Exclamation: return QMessageBox::Warning;
        case MsgIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton escape;  // what closing the box without a button means
};

ButtonSet ToQt(MsgButtons buttons) {
    using B = QMessageBox;
    switch (buttons) {
        case MsgButtons::Ok: return {B::Ok, B::Ok};
        case MsgButtons::OkCancel: return {B::Ok | B::Cancel, B::Cancel};
        case MsgButtons::YesNo: return {B::Yes | B::No, B::No};
        case MsgButtons::YesNoCancel: return {B::Yes | B::No | B::Cancel, B::Cancel};
        case MsgButtons::RetryCancel: return {B::Retry | B::Cancel, B::Cancel};
        case MsgButtons::AbortRetryIgnore: return {B::Abort | B::Retry | B::Ignore, B::Abort};
    }
    return {B::Ok, B::Ok};
}

MsgResult FromQt(int button, QMessageBox::StandardButton escape) {
    if (button != QMessageBox::Ok && button != QMessageBox::Cancel &&
        button != QMessageBox::Abort && button != QMessageBox::Retry &&
        button != QMessageBox::Ignore && button != QMessageBox::Yes && button != QMessageBox::No) {
        button = escape;  // closed without a button
    }
    switch (button) {
        case QMessageBox::Ok: return MsgResult::Ok;
        case QMessageBox::Cancel: return MsgResult::Cancel;
        case QMessageBox::Abort: return MsgResult::Abort;
        case QMessageBox::Retry: return MsgResult::Retry;
        case QMessageBox::Ignore: return MsgResult::Ignore;
        case QMessageBox::Yes: return MsgResult::Yes;
        case QMessageBox::No: return MsgResult::No;
        default: break;
    }
    return MsgResult::Cancel;
}

// The first button of the set is the default, as in the classic boxes.
QMessageBox::StandardButton DefaultButton(QMessageBox::StandardButtons buttons) {
    if (buttons & QMessageBox::Ok) return QMessageBox::Ok;
    if (buttons & QMessageBox::Yes) return QMessageBox::Yes;
    if (buttons & QMessageBox::Abort) return QMessageBox::Abort;
    if (buttons & QMessageBox::Retry) return QMessageBox::Retry;
    return QMessageBox::NoButton;
}

// A box that can be shown as a panel inside a window, with a title bar of its own.
class PanelBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

    void ShowTitleBar() {
        titleHeight_ = PanelTitleHeight(*this);
        setContentsMargins(0, titleHeight_, 0, 0);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QMessageBox::paintEvent(event);
        if (titleHeight_ == 0) return;
        QPainter painter(this);
        PaintPanelTitle(painter, *this, QRect(1, 1, width() - 2, titleHeight_ - 1), windowTitle());
    }

private:
    int titleHeight_ = 0;
};

}  // namespace

MsgResult QtMessageBoxes::Show(const MessageBoxRequest& request) {
    const ButtonSet set = ToQt(request.buttons);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        // No widgets can exist yet (or any more): say it on standard error and take the default
        // button, rather than abort on a widget made without an application.
        std::cerr << request.caption << ": " << request.text << std::endl;
        return FromQt(DefaultButton(set.buttons), set.escape);
    }
    QWidget* owner = QApplication::activeWindow();
    PanelBox box(ToQt(request.icon), QString::fromStdString(request.caption),
                 QString::fromStdString(request.text), set.buttons, owner);
    box.setWindowModality(Qt::ApplicationModal);
    // A box of a program whose own windows are topmost (the saver) must not open beneath them.
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setTextFormat(Qt::PlainText);
    box.setEscapeButton(set.escape);
    box.setDefaultButton(DefaultButton(set.buttons));
    if (owner != nullptr && owner->isFullScreen() && !WindowSystem().ProgramsPlaceWindows()) {
        // A compositor shows a box above a fullscreen window but leaves the keyboard with the
        // window, which the box would block: the box goes inside the window instead, centred.
        // Its background is the style's to paint: a child that Qt takes for opaque is left out
        // of the repaints of a window that writes its pixels itself.
        box.setParent(owner, Qt::Widget);
        UseDesktopColours(box);
        box.setStyleSheet(QStringLiteral("QMessageBox { background-color: palette(window); "
                                         "border: 1px solid palette(dark); }"));
        box.ShowTitleBar();
        box.adjustSize();
        box.move((owner->width() - box.width()) / 2, (owner->height() - box.height()) / 2);
        // Inside a window the box takes the keyboard itself, once it is shown.
        QTimer::singleShot(0, &box, [&box] {
            if (QPushButton* button = box.defaultButton()) button->setFocus();
        });
    }
    return FromQt(box.exec(), set.escape);
}

}  // namespace plenova::platform
