// Form1: the saver window. It covers the whole screen with the pointer hidden, shows the scene,
// and ends the saver as soon as the user clicks, presses a key or moves the mouse by more than
// the configured tolerance within one 10 ms check, asking for the saver's password first when
// one is set.
#pragma once

#include <memory>
#include <vector>

#include <QSize>
#include <QTimer>

#include "base/checked.h"
#include "dialogs/form_support.h"
#include "platform/window_presence.h"

class QLabel;

namespace plenova::dialogs {
class frmPassword;
}

namespace plenova::engine {
class CWinGBitmap;
class CWinGDC;
class CWinGSprite;
class CWinGStage;
}  // namespace plenova::engine

namespace plenova::saver {

class Form1 : public dialogs::Form {
public:
    Form1();
    ~Form1() override;

    // ----- controls -----
    QWidget* picIME = nullptr;   // takes the keyboard focus; input method disabled
    QLabel* imgMouse = nullptr;  // a 32 x 32 picture transparent in every pixel
    QTimer Timer1;               // the animation clock, 20 ms
    QTimer Timer3;               // the movement check and music loop, 10 ms

    // ----- handlers -----
    void Form_Click();
    void Timer1_Timer();
    void Timer3_Timer();
    void Form_Paint();
    void Form_Resize();
    // The end request shared by click, key and movement.
    void RequestExit();

    // The password prompt while it is loaded, else null.
    dialogs::frmPassword* PasswordPrompt() const;

    // ----- scene state -----
    // Filled by the scene: the assets at load (LoadSceneAssets), the canvas, palette and sprite
    // placement in the size handler; released by the unload sequence in this order: surfaceDC,
    // stage, backgroundBitmap, sprites 0 to spriteCount - 1, canvasBitmap.
    std::shared_ptr<engine::CWinGDC> surfaceDC;
    std::shared_ptr<engine::CWinGStage> stage;
    std::vector<std::shared_ptr<engine::CWinGSprite>> sprites;
    std::shared_ptr<engine::CWinGBitmap> backgroundBitmap;
    std::shared_ptr<engine::CWinGBitmap> canvasBitmap;
    std::vector<Int16> frameCounts;
    std::vector<Int16> edgeModes;
    Int16 scrollStepX = 0;
    Int16 scrollStepY = 0;
    Int32 previousPalette = 0;  // palette handle of the window before the scene's, 0 = none
    Int16 paintBusy = kFalse;   // a clock tick is being handled

protected:
    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    bool Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift) override;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Load step 3: the scene's pictures, sprites and frame tables.
    void LoadSceneAssets();
    // Unload step 4: the window's palette from before the scene.
    void RestoreWindowPalette();
    // Runs the size handler once per new size, whether the size came from the load sequence
    // (window still hidden) or from the window system.
    void SizeChanged();

    platform::WindowPresence presence_;
    std::unique_ptr<dialogs::frmPassword> password_;
    QSize handledSize_;
    bool pressed_ = false;
    bool unloading_ = false;
};

}  // namespace plenova::saver
