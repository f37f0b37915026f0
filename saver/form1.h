// Form1: the saver window. It covers the whole screen with the pointer hidden, shows the scene,
// and ends the saver as soon as the user clicks, presses a key or moves the mouse by more than
// the configured tolerance within one 10 ms check, asking for the saver's password first when
// one is set.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QImage>
#include <QSize>
#include <QTimer>

#include "base/checked.h"
#include "forms/form_support.h"
#include "platform/cursor.h"
#include "platform/gdi.h"
#include "platform/screen.h"
#include "platform/server_image.h"
#include "platform/window_presence.h"
#include "saver/frame_probe.h"

class QLabel;

namespace plenova::dialogs {
class frmPassword;
}

namespace plenova::engine {
class CWinGBitmap;
class CWinGDC;
class CWinGSprite;
class CWinGStage;
class FunctionEventSink;
}  // namespace plenova::engine

namespace plenova::saver {

class WindowTarget;

class Form1 : public forms::Form {
public:
    Form1();
    ~Form1() override;

    // ----- controls -----
    QWidget* picIME = nullptr;   // takes the keyboard focus; input method disabled
    QLabel* imgMouse = nullptr;  // a 32 x 32 picture transparent in every pixel
    QTimer Timer1;               // the animation clock, 20 ms
    QTimer Timer3;               // the movement check and music loop, 10 ms
    // The event relay of the sprites' edge reports: every sprite's sink, handing each report to
    // EventSink1_Event at once.
    std::shared_ptr<engine::FunctionEventSink> EventSink1;

    // ----- handlers -----
    void Form_Click();
    void Timer1_Timer();
    void Timer3_Timer();
    // One frame step: sprites advance, move and check the edges, the background is rendered,
    // the sprites are drawn over it, and the finished canvas is copied to the window.
    void Form_Paint();
    void Form_Resize();
    // One edge report of sprite `EventNumber` ("TOP", "BOTTOM", "LEFT" or "RIGHT").
    void EventSink1_Event(Int32 EventNumber, const std::string& EventData);
    // The end request shared by click, key and movement.
    void RequestExit();

    // Hosted: a host (a screen-saver daemon, a settings app's preview, a window of its own) owns
    // the input and the end. Clicks, keys and pointer moves do not end the scene, the pointer
    // keeps its shape, the window is not announced as a running saver, and it takes the screen's
    // size at (0, 0) instead of overhanging the screen. Set before Load.
    void SetHosted(bool hosted) { hosted_ = hosted; }
    bool Hosted() const { return hosted_; }

    // The movement check compares the cursor with the position that start-up recorded once the
    // window is shown; before that (a box of the load sequence still on screen) there is no
    // position to compare with, and no movement ends the saver.
    void WatchMovement() { movementWatched_ = true; }

    // Where the compositor places windows (Wayland): the window goes fullscreen on the primary
    // screen and a black window covers every other screen. The pointer is then known only from
    // the motion events of these windows; the movement check measures what they report, and the
    // first position they give is where the pointer stands, not a movement.
    void ShowOnEveryScreen();
    // A pointer position that one of the saver's windows reported (screen pixels).
    void PointerSeenAt(platform::ScreenPoint position);
    // The black windows on the other screens.
    const std::vector<std::unique_ptr<QWidget>>& ScreenCovers() const { return covers_; }

    // Hosted in a window of its own: the window manager places it; only its size is set.
    void SetPlacedByWindowManager(bool placed) { placedByWindowManager_ = placed; }
    // Frames go to `present` instead of to this window, which then stays hidden (a window that
    // is not ours, such as the root window, shows them). Set before Load.
    void SetFramePresenter(std::function<void(const QImage&)> present) {
        presenter_ = std::move(present);
    }

    // Frames go to the window `handle` of another program (the root window) through a picture
    // the display server keeps, where the display offers one; the frame presenter otherwise.
    // Set before Load.
    void SetPresentWindow(std::uint64_t handle) { presentWindow_ = handle; }

    // The password prompt while it is loaded, else null.
    dialogs::frmPassword* PasswordPrompt() const;

    // The window's drawing context: the destination of the canvas copy, and where the scene's
    // palette is selected. It writes into the window's pixels while the window paints.
    platform::gdi::HDC hDC() const { return windowDC_; }
    // The animation's counters so far.
    const SceneCounters& Counters() const { return counters_; }

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
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Reads the scene's pictures and builds the sprites with their frame tables; without a
    // readable background the saver says so and ends.
    void LoadSceneAssets();
    // Sprite i, made on first use.
    engine::CWinGSprite& Sprite(Int16 i);
    // Reads one frame picture of sprite i into slot n; a picture that cannot be read as an 8-bit
    // picture becomes an empty frame.
    void LoadFrame(Int16 i, const std::string& fileName, Int16 n);
    // Puts sprite i on the new canvas at a random place, with its speed, frame step and the
    // bounds beyond which it has left the screen.
    void PlaceSprite(Int16 i, const platform::ScreenMetrics& screen);
    // Copies the finished canvas to the window in one copy.
    void ShowCanvas();
    // True once the size handler has built the canvas (a paint can show the scene).
    bool SceneReady() const;
    // Called by the window's drawing context when a frame was copied into the window.
    void FrameCopied();
    // During a paint: the window system's own 32-bit image of the window when the paint goes
    // into it with one image pixel per window pixel; null otherwise.
    QImage* WindowSystemImage() const;
    // The picture the display server keeps of the window, made on first use and following the
    // canvas's size; null where there is none (frames then go whole through the toolkit).
    platform::ServerImage* ServerImage();
    // Shows the canvas through the server's picture: only what changed since the frame shown
    // before, or all of it when `whole` or when the server's picture cannot be trusted.
    void SendToServer(platform::ServerImage& image, bool whole);
    // Selects the window's palette from before the scene back into the window.
    void RestoreWindowPalette();
    // Runs the size handler once per new size, whether the size came from the load sequence
    // (window still hidden) or from the window system.
    void SizeChanged();

    platform::WindowPresence presence_;
    std::unique_ptr<dialogs::frmPassword> password_;
    QSize handledSize_;
    bool pressed_ = false;
    bool unloading_ = false;
    bool hosted_ = false;
    bool movementWatched_ = false;
    bool placedByWindowManager_ = false;
    // Shown by ShowOnEveryScreen: the pointer is what the saver's own windows report, and the
    // password prompt is a panel inside the saver window.
    bool compositorPlaces_ = false;
    std::optional<platform::ScreenPoint> pointerSeen_;
    bool pointerBaselineSet_ = false;
    std::vector<std::unique_ptr<QWidget>> covers_;
    std::function<void(const QImage&)> presenter_;

    // The window's drawing context and the pixels it writes into: the window system's own
    // buffer while the window paints, or (where that buffer is not a plain 32-bit image) an
    // image of the window's size made once per size.
    std::shared_ptr<WindowTarget> target_;
    platform::gdi::HDC windowDC_ = 0;
    QImage ownImage_;
    bool painting_ = false;       // inside paintEvent
    bool showingCanvas_ = false;  // paintEvent was asked for by ShowCanvas
    std::unique_ptr<platform::ServerImage> serverImage_;
    std::uint64_t serverImageWindow_ = 0;  // the window it was made for
    std::uint64_t presentWindow_ = 0;
    bool serverImageRefused_ = false;
    bool sending_ = false;
    std::uint64_t sentRender_ = 0;  // the stage's render the server shows
    std::array<std::uint32_t, 256> sentColors_{};
    std::vector<platform::ImageRect> sentRects_;
    SceneCounters counters_;
    std::chrono::steady_clock::time_point lastTick_{};
    std::unique_ptr<FrameProbe> probe_;
};

}  // namespace plenova::saver
