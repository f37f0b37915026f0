#include "dialogs/frm_password2.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/password_box.h"
#include "platform/message_box.h"
#include "platform/settings_store.h"
#include "dialogs/saver_names.h"

namespace plenova::dialogs {

namespace {
constexpr const char* kUpdated = "パスワードが更新されました。";
constexpr const char* kMismatch =
    "パスワードと、再入力したパスワードが一致しません。再入力して下さい。";
}  // namespace

frmPassword2::frmPassword2(QWidget* parent)
    : forms::Form(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmPassword2"));
    setWindowTitle(QStringLiteral("PlenovaSaverのパスワード変更"));
    SetFixedClientTwips(3945, 2220);

    cmdOK = forms::MakeButton(this, QStringLiteral("cmdOK"), QStringLiteral("&OK"), 2280, 1680, 1335, 375);
    Command1 = forms::MakeButton(this, QStringLiteral("Command1"), QStringLiteral("キャンセル(&C)"), 600,
                          1680, 1335, 375);

    txtPassword = MakePasswordBox(this, "txtPassword");
    txtPassword->setGeometry(forms::TwipsRect(120, 240, 3735, 360));

    txtTest = MakePasswordBox(this, "txtTest");
    txtTest->setGeometry(forms::TwipsRect(120, 1080, 3735, 375));

    Label1 = new QLabel(QStringLiteral("新しいﾊﾟｽﾜｰﾄﾞの確認入力"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(forms::TwipsRect(240, 840, 2295, 255));

    setTabOrder(cmdOK, Command1);
    setTabOrder(Command1, txtPassword);
    setTabOrder(txtPassword, txtTest);

    QObject::connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    QObject::connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    // Enter on a focused button presses it; elsewhere Enter accepts (key preview).
    SetDialogButtons(nullptr, Command1);
    EnableKeyPreview();
}

void frmPassword2::Form_Load() { CenterOnScreen(); }

void frmPassword2::resizeEvent(QResizeEvent* event) {
    forms::Form::resizeEvent(event);
    Form_Resize();
}

void frmPassword2::Form_Resize() { txtPassword->setFocus(); }

void frmPassword2::Accept() {
    platform::WriteSetting(kAppName, "User", "Pass", txtPassword->text().toStdString());
    platform::ShowMessage(kUpdated, kProgramTitle, platform::MsgButtons::Ok,
                          platform::MsgIcon::None);
    Unload();
}

void frmPassword2::Refuse() {
    platform::ShowMessage(kMismatch, kProgramTitle, platform::MsgButtons::Ok,
                          platform::MsgIcon::Exclamation);
    txtPassword->clear();
    txtTest->clear();
    txtPassword->setFocus();
}

void frmPassword2::cmdOK_Click() {
    if (txtTest->text() == txtPassword->text()) {
        Accept();
    } else {
        Refuse();
    }
}

void frmPassword2::Command1_Click() { Unload(); }

bool frmPassword2::Form_KeyDown(int keyCode, Qt::KeyboardModifiers) {
    if (keyCode == forms::kKeyReturn) {
        if (txtPassword->text().isEmpty() && txtTest->text().isEmpty()) {
            Accept();
        } else if (!txtPassword->text().isEmpty() && txtTest->text().isEmpty()) {
            txtTest->setFocus();
        } else {
            cmdOK_Click();
        }
        return true;
    }
    if (keyCode == forms::kKeyEscape) {
        Unload();
        return true;
    }
    return false;
}

}  // namespace plenova::dialogs
