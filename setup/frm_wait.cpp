#include "setup/frm_wait.h"

#include <QLabel>

namespace plenova::setup {

frmWait::frmWait(QWidget* parent)
    : Form(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmWait"));
    // A blank, not an empty title: for an empty one the window system shows the program's
    // name, and this window has no caption.
    setWindowTitle(QStringLiteral(" "));
    setFont(forms::UiFont(9));
    SetFixedClientTwips(5355, 1335);

    Label = new QLabel(this);
    Label->setObjectName(QStringLiteral("Label"));
    Label->setFont(forms::UiFont(9.75));
    Label->setGeometry(forms::TwipsRect(405, 600, 4590, 375));
    Label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

void frmWait::Form_Load() { CenterOnScreen(); }

void frmWait::Form_Unload(int& cancel) {
    if (!closing_) cancel = 1;
}

void frmWait::UnloadByProgram() {
    closing_ = true;
    Unload();
    closing_ = false;
}

}  // namespace plenova::setup
