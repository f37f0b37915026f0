#include "dialogs/frm_password.h"

#include <exception>

#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include "dialogs/password_box.h"
#include "dialogs/saver_names.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/qt/panel.h"
#include "platform/settings_store.h"
#include "platform/x11/window_ops.h"

namespace plenova::dialogs {

namespace {
constexpr const char* kWrongPassword = "パスワードが違います。再入力して下さい。";
}

frmPassword::frmPassword(QWidget& saverWindow, std::function<void()> stopMusic, Placement placement)
    : forms::Form(placement == Placement::InsideSaverWindow ? &saverWindow : nullptr,
                  placement == Placement::InsideSaverWindow
                      ? Qt::Widget
                      : Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowStaysOnTopHint),
      saverWindow_(saverWindow),
      stopMusic_(std::move(stopMusic)),
      placement_(placement) {
    setObjectName(QStringLiteral("frmPassword"));
    setWindowTitle(QStringLiteral("パスワード"));
    SetFixedClientTwips(3660, 1290);

    txtPassword = MakePasswordBox(this, "txtPassword");
    txtPassword->setGeometry(forms::TwipsRect(120, 120, 3375, 375));

    cmdOK = forms::MakeButton(this, QStringLiteral("cmdOK"), QStringLiteral("&OK"), 2040, 720, 1455, 375);
    cmdCancel = forms::MakeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("キャンセル(&C)"), 240,
                           720, 1455, 375);
    setTabOrder(txtPassword, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    QObject::connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    QObject::connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    // Enter on a focused button presses it; elsewhere Enter checks (key preview).
    SetDialogButtons(nullptr, cmdCancel);
    EnableKeyPreview();

    if (placement_ == Placement::InsideSaverWindow) {
        hide();  // a child is shown with its parent unless told otherwise
        // The saver window's black and its hidden pointer are not the prompt's.
        platform::UseDesktopColours(*this);
        setCursor(Qt::ArrowCursor);
        // The title bar that a window manager would draw, above the same client area.
        titleHeight_ = platform::PanelTitleHeight(*this);
        const QSize client = size();
        for (QWidget* control : {static_cast<QWidget*>(txtPassword), static_cast<QWidget*>(cmdOK),
                                 static_cast<QWidget*>(cmdCancel)}) {
            control->move(control->pos() + QPoint(0, titleHeight_));
        }
        setFixedSize(client.width(), client.height() + titleHeight_);
    }
}

void frmPassword::Form_Load() {
    if (placement_ == Placement::OwnWindow) {
        CenterOnScreen();
        return;
    }
    move((saverWindow_.width() - width()) / 2, (saverWindow_.height() - height()) / 2);
}

void frmPassword::ShowOnTop() {
    Show();
    if (placement_ == Placement::OwnWindow) {
        platform::MakeTopmost(*this);
    } else {
        raise();
    }
}

void frmPassword::paintEvent(QPaintEvent* event) {
    forms::Form::paintEvent(event);
    if (titleHeight_ == 0) return;
    // Painted here, not filled by Qt: a panel that Qt takes for opaque is left out of the saver
    // window's repaints, and the scene written straight into the window's image would cover it.
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    platform::PaintPanelTitle(painter, *this, QRect(0, 0, width(), titleHeight_), windowTitle());
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void frmPassword::resizeEvent(QResizeEvent* event) {
    forms::Form::resizeEvent(event);
    Form_Resize();
}

void frmPassword::Form_Resize() { txtPassword->setFocus(); }

bool frmPassword::Form_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    if (keyCode == forms::kKeyReturn) {
        Check(Source::EnterKey);
        return true;
    }
    if (keyCode == forms::kKeyEscape) {
        Cancel();
        return true;
    }
    return false;
}

void frmPassword::cmdOK_Click() { Check(Source::Button); }

void frmPassword::cmdCancel_Click() { Cancel(); }

void frmPassword::Check(Source source) {
    const std::string stored = platform::ReadSetting(kAppName, "User", "Pass", "");
    if (txtPassword->text().toStdString() == stored) {
        platform::SetPointerMode(saverWindow_, platform::PointerMode::Default);
        // The right password always ends the program, even when stopping the music fails.
        try {
            if (stopMusic_) stopMusic_();
        } catch (const std::exception&) {
        }
        platform::EndProcess(0);
    }
    platform::ShowMessage(kWrongPassword, kProgramTitle, platform::MsgButtons::Ok,
                          platform::MsgIcon::Exclamation);
    platform::SetPointerMode(saverWindow_, source == Source::Button
                                               ? platform::PointerMode::Hidden
                                               : platform::PointerMode::Default);
    txtPassword->clear();
    txtPassword->setFocus();
}

void frmPassword::Cancel() {
    platform::SetPointerMode(saverWindow_, platform::PointerMode::Hidden);
    Unload();
    // The saver window takes the keyboard back, so that the next key asks again.
    if (placement_ == Placement::InsideSaverWindow) saverWindow_.setFocus();
    saverWindow_.activateWindow();
}

}  // namespace plenova::dialogs
