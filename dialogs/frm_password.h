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
    // A window of its own, kept above the saver window; or, where the compositor places windows
    // and gives the keyboard to the fullscreen saver alone (Wayland), a panel inside the saver
    // window, centred, with a title bar of its own.
    enum class Placement { OwnWindow, InsideSaverWindow };

    // `saverWindow`: the window whose pointer mode the prompt switches. `stopMusic`: stops and
    // closes the music before the program ends.
    frmPassword(QWidget& saverWindow, std::function<void()> stopMusic,
                Placement placement = Placement::OwnWindow);

    Placement WhereShown() const noexcept { return placement_; }
    // Shows the prompt modelessly and brings it above the saver window without activating it;
    // shown again while shown, it only comes forward.
    void ShowOnTop();

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
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Source { Button, EnterKey };
    void Check(Source source);
    void Cancel();

    QWidget& saverWindow_;
    std::function<void()> stopMusic_;
    Placement placement_;
    int titleHeight_ = 0;  // inside the saver window: the title bar drawn above the controls
};

}  // namespace plenova::dialogs
