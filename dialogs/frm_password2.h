// frmPassword2: the password change dialog of the settings dialog. The new password is typed
// twice; when both entries agree it is stored at once and the dialog closes.
#pragma once

#include "forms/form_support.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace plenova::dialogs {

class frmPassword2 : public forms::Form {
public:
    explicit frmPassword2(QWidget* parent = nullptr);

    QPushButton* cmdOK = nullptr;
    QPushButton* Command1 = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtTest = nullptr;
    QLabel* Label1 = nullptr;

    void cmdOK_Click();
    void Command1_Click();

protected:
    void Form_Load() override;
    void Form_Resize();
    bool Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Accept();
    void Refuse();
};

}  // namespace plenova::dialogs
