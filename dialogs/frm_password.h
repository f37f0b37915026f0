// frmPassword: the prompt that the running saver shows in password mode. The right password
// stops the music and ends the program at once; a wrong one is refused and the prompt stays;
// Cancel or Esc closes it and the saver runs on.
#pragma once

#include <functional>

#include "forms/form_support.h"

class QLineEdit;
class QPushButton;

namespace plenova::dialogs {

class frmPassword : public forms::Form {
public:
    // `saverWindow`: the window whose pointer mode the prompt switches. `stopMusic`: stops and
    // closes the music before the program ends.
    frmPassword(QWidget& saverWindow, std::function<void()> stopMusic);

    QLineEdit* txtPassword = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void Form_Load() override;
    void Form_Resize();
    bool Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Source { Button, EnterKey };
    void Check(Source source);
    void Cancel();

    QWidget& saverWindow_;
    std::function<void()> stopMusic_;
};

}  // namespace plenova::dialogs
