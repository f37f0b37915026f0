#include "saver/form1.h"

#include <exception>
#include <string>

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "base/text.h"
#include "dialogs/frm_password.h"
#include "platform/cursor.h"
#include "platform/events.h"
#include "platform/process_end.h"
#include "platform/screen.h"
#include "platform/settings_store.h"
#include "platform/window_ops.h"
#include "saver/scr.h"

namespace plenova::saver {

namespace {

// One step of a sequence that must not stop half-way: a failure of the step is ignored. The end
// of the process is not a failure and passes through.
template <typename Step>
void IgnoringFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

Form1::Form1()
    : Form(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(dialogs::kSaverCaption));
    // The scene covers every pixel; until a frame is drawn the window is black.
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    picIME = new QWidget(this);
    picIME->setObjectName(QStringLiteral("picIME"));
    picIME->setGeometry(0, 0, 32, 32);
    picIME->setFocusPolicy(Qt::StrongFocus);
    // Key presses never open a text-input method; the keys themselves are the window's.
    picIME->setAttribute(Qt::WA_InputMethodEnabled, false);

    imgMouse = new QLabel(this);
    imgMouse->setObjectName(QStringLiteral("imgMouse"));
    QPixmap clear(32, 32);
    clear.fill(Qt::transparent);
    imgMouse->setPixmap(clear);
    imgMouse->setGeometry(0, 0, 32, 32);

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setTimerType(Qt::PreciseTimer);
    QObject::connect(&Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer3.setInterval(10);
    QObject::connect(&Timer3, &QTimer::timeout, this, [this] { Timer3_Timer(); });

    EnableKeyPreview();
}

Form1::~Form1() = default;

dialogs::frmPassword* Form1::PasswordPrompt() const { return password_.get(); }

// ----- load -----

void Form1::Form_Load() {
    // Findable by its caption from the moment it is loaded.
    presence_ = platform::WindowPresence::Register(dialogs::kSaverCaption);
    // The movement check runs from load on.
    Timer3.start();

    // 1. The mouse sensitivity. A number beyond 16 bits is not one the settings dialog ever
    //    writes; it is taken as the default sensitivity 1.
    try {
        SCR::mouseTolerance = RoundToInt16(
            NumericValue(Trim(platform::ReadSetting(SCR::kAppName, "Set", "Mouse", "1"))));
    } catch (const OverflowError&) {
        SCR::mouseTolerance = 1;
    }
    // 2. The pointer disappears over the window.
    platform::SetPointerMode(*this, platform::PointerMode::Hidden);
    // 3. The scene's pictures and sprites.
    LoadSceneAssets();
    // 4. The animation clock.
    Timer1.setInterval(20);
    Timer1.start();
    // 5. Far outside the screen, at its final size; the size change builds the drawing
    //    surfaces (size handler).
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    const double screenWidth = static_cast<double>(screen.WidthTwips());
    const double screenHeight = static_cast<double>(screen.HeightTwips());
    SetTwipsGeometry(3 * screenWidth, 3 * screenHeight, screenWidth + 150, screenHeight + 400);
    SizeChanged();
    // 6. The music.
    SCR::ControlMusic(0);
}

void Form1::LoadSceneAssets() {
    // The scene (background picture, sprite frames, frame tables and edge modes) is built
    // here; until it exists the window shows black and nothing is loaded.
}

// ----- size and paint -----

void Form1::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    SizeChanged();
}

void Form1::SizeChanged() {
    if (size() == handledSize_) return;
    handledSize_ = size();
    Form_Resize();
}

void Form1::Form_Resize() {
    // The scene's canvas of the window's client size, its palette in the window and every
    // sprite's place, speed and bounds are made here (steps 1 to 8 of the size handler).
    // 9. One frame at once.
    Form_Paint();
    // 10. The clock runs.
    Timer1.start();
}

void Form1::Form_Paint() {
    // The frame step (sprites, background, sprites drawn onto the canvas) comes first; then the
    // finished frame is copied to the window in one piece.
    if (isVisible()) repaint();
}

void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}

void Form1::Timer1_Timer() {
    if (paintBusy != kFalse) return;  // a tick that arrives meanwhile is dropped
    paintBusy = kTrue;
    // The background scrolls one step per tick here (stage offsets by scrollStepX, scrollStepY).
    Form_Paint();
    platform::DoEvents();
    paintBusy = kFalse;
}

// ----- the three end requests -----

void Form1::mousePressEvent(QMouseEvent* event) {
    pressed_ = true;
    event->accept();
}

void Form1::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (!pressed_) return;
    pressed_ = false;
    Form_Click();
}

void Form1::Form_Click() { RequestExit(); }

bool Form1::Form_KeyDown(int, Qt::KeyboardModifiers) {
    RequestExit();
    return true;
}

void Form1::Timer3_Timer() {
    // 1. The music goes on looping.
    SCR::ControlMusic(2);
    // 2.-4. Movement beyond the tolerance on either axis since the last check.
    SCR::cursorPos = platform::CursorPosition();
    const Int32 dx = std::abs(Sub32(SCR::lastMouseX, SCR::cursorPos.x));
    const Int32 dy = std::abs(Sub32(SCR::lastMouseY, SCR::cursorPos.y));
    if (dx > SCR::mouseTolerance || dy > SCR::mouseTolerance) RequestExit();
    // 5. Also after a request that showed the prompt instead of ending.
    SCR::lastMouseX = ToInt16(SCR::cursorPos.x);
    SCR::lastMouseY = ToInt16(SCR::cursorPos.y);
}

void Form1::RequestExit() {
    const bool passwordInUse =
        SCR::SettingIsOn(platform::ReadSetting(SCR::kAppName, "User", "Usepassword", "0"));
    if (!passwordInUse || platform::ReadSetting(SCR::kAppName, "User", "Pass", "").empty()) {
        platform::SetPointerMode(*this, platform::PointerMode::Default);
        Unload();
        return;
    }
    platform::SetPointerMode(*this, platform::PointerMode::Default);
    if (!password_) {
        password_ = std::make_unique<dialogs::frmPassword>(*this, [] { SCR::ControlMusic(1); });
        password_->SetOnUnloaded([this] {
            // A cancelled prompt goes; the next request makes a fresh one. It is deleted from
            // the event loop, since its own handler is still running.
            if (password_) password_.release()->deleteLater();
        });
    }
    // Shown again while shown, it only comes forward; the text typed so far stays.
    password_->Show();
    platform::MakeTopmost(*password_);
}

// ----- unload -----

void Form1::Form_Unload(int& cancel) {
    // An end request from the events that step 3 lets run finds the unload under way.
    if (unloading_) {
        cancel = 1;
        return;
    }
    unloading_ = true;
    // 1. The clock stops.
    IgnoringFailure([&] { Timer1.stop(); });
    // 2. The music stops and closes.
    IgnoringFailure([&] { SCR::ControlMusic(1); });
    // 3. Pending window events run once.
    IgnoringFailure([&] { platform::DoEvents(); });
    // 4. The window's own palette comes back.
    IgnoringFailure([&] {
        if (previousPalette != 0) RestoreWindowPalette();
    });
    // 5. The scene's objects go, in this order.
    IgnoringFailure([&] { surfaceDC.reset(); });
    IgnoringFailure([&] { stage.reset(); });
    IgnoringFailure([&] { backgroundBitmap.reset(); });
    for (Int16 i = 0; i < SCR::spriteCount; ++i) {
        IgnoringFailure([&] { sprites.at(static_cast<std::size_t>(i)).reset(); });
    }
    IgnoringFailure([&] { canvasBitmap.reset(); });
    // 6. The process ends.
    platform::EndProcess(0);
}

void Form1::RestoreWindowPalette() {
    // The scene selects its palette into the window and keeps the earlier one in
    // previousPalette; selecting that back as the foreground palette happens here.
}

}  // namespace plenova::saver
