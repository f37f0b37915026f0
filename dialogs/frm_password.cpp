#include "dialogs/frm_password.h"

#include <exception>

#include <QLineEdit>
#include <QPushButton>

#include "dialogs/password_box.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/settings_store.h"
#include "platform/x11/window_ops.h"
#include "dialogs/saver_names.h"

namespace plenova::dialogs {

namespace {
constexpr const char* kWrongPassword = "パスワードが違います。再入力して下さい。";
}

frmPassword::frmPassword(QWidget& saverWindow, std::function<void()> stopMusic)
    : forms::Form(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowStaysOnTopHint),
      saverWindow_(saverWindow),
      stopMusic_(std::move(stopMusic)) {
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
}

void frmPassword::Form_Load() { CenterOnScreen(); }

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
    saverWindow_.activateWindow();
}

}  // namespace plenova::dialogs
