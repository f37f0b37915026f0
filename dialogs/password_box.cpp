#include "dialogs/password_box.h"

#include <QLineEdit>

#include "forms/form_support.h"

namespace plenova::dialogs {

QLineEdit* MakePasswordBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEchoMode(QLineEdit::Password);
    // The mask character is "*" whatever the style would draw.
    box->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    box->setFont(forms::UiFont(12));
    return box;
}

}  // namespace plenova::dialogs
