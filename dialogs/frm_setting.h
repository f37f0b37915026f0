// frmSetting: the settings dialog of settings mode. It shows the mouse sensitivity (1 to 10) and
// the password switch, opens the password change dialog, and writes both settings when it
// closes, in whatever way, which ends the program.
#pragma once

#include <array>

#include "forms/form_support.h"
#include "platform/window_presence.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace plenova::dialogs {

class frmSetting : public forms::Form {
public:
    explicit frmSetting(QWidget* parent = nullptr);

    QPushButton* cmdChangePass = nullptr;
    QLabel* lblMouse = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdUp = nullptr;
    QPushButton* cmdDown = nullptr;
    QPushButton* cmdOK = nullptr;
    QCheckBox* chkUsePass = nullptr;
    QLabel* Label1 = nullptr;
    // Decoration.
    QLabel* Image1 = nullptr;
    QLabel* Image3 = nullptr;
    QLabel* Image4 = nullptr;
    QLabel* Image5 = nullptr;
    QLabel* Image6 = nullptr;
    std::array<QLabel*, 8> Image2{};

    void cmdUp_Click();
    void cmdDown_Click();
    void cmdChangePass_Click();
    void cmdOK_Click();

    // The password change dialog while it is open (for tests and the window manager).
    forms::Form* OpenPasswordDialog() const { return passwordDialog_; }

protected:
    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    void paintEvent(QPaintEvent* event) override;

private:
    platform::WindowPresence presence_;
    forms::Form* passwordDialog_ = nullptr;
};

// The sensitivity shown for a stored "Mouse" text: its numeric value rounded half to even,
// 1 when that is outside 1 to 10 (or beyond 16 bits).
int SensitivityForDisplay(const std::string& stored);
// The check-box state for a stored "Usepassword" text: checked only for a value that converts
// to the 16-bit integer 1.
bool PasswordSwitchForDisplay(const std::string& stored);

}  // namespace plenova::dialogs
