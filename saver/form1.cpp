#include "saver/form1.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <string>

#include <QBackingStore>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include "assets/asset_names.h"
#include "base/errors.h"
#include "base/text.h"
#include "dialogs/frm_password.h"
#include "dialogs/saver_names.h"
#include "engine/cdib.h"
#include "engine/cpalette.h"
#include "engine/cwingbitmap.h"
#include "engine/cwingdc.h"
#include "engine/cwingsprite.h"
#include "engine/cwingstage.h"
#include "engine/wing.h"
#include "platform/cursor.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/random.h"
#include "platform/screen.h"
#include "platform/server_image.h"
#include "platform/settings_store.h"
#include "platform/window_system.h"
#include "platform/x11/window_ops.h"
#include "saver/read_dib.h"
#include "saver/scr.h"

namespace plenova::saver {

namespace gdi = platform::gdi;

// The window's pixels as the off-screen library's copy sees them: valid while the window paints,
// empty otherwise (a copy then reaches nothing).
class WindowTarget : public gdi::PixelTarget {
public:
    explicit WindowTarget(std::function<void()> copied) : copied_(std::move(copied)) {}
    void SetView(gdi::XrgbView view) { view_ = view; }
    // While quiet, copies are not reported (a frame sent in many rectangles is one frame).
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    gdi::XrgbView Pixels() override { return view_; }
    void Present(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {
        if (copied_ && !quiet_) copied_();
    }

private:
    gdi::XrgbView view_;
    bool quiet_ = false;
    std::function<void()> copied_;
};

namespace {

// ----- fixed data of the scene -----

constexpr const char* kBackgroundMissing = " 背景画像がロードできません";

// Frames per sprite; every sprite wraps round the screen (edge mode 0).
constexpr std::array<Int16, 13> kFrameCounts{4, 4, 4, 4, 1, 1, 1, 1, 1, 1, 1, 4, 9};
static_assert([] {
    for (std::size_t i = 0; i < kFrameCounts.size(); ++i) {
        if (kFrameCounts[i] != assets::kSpriteFrames[i].count) return false;
    }
    return true;
}(), "every sprite has as many frame files as frames");

struct SpriteSpeed {
    float x;
    float y;
    bool random;
};
// Four sprites to a row.
// clang-format off
constexpr std::array<SpriteSpeed, 13> kSpriteSpeeds{{
    {0.8f, 0.0f, false}, {0.9f, 0.0f, false}, {0.7f, 0.0f, false}, {1.0f, 0.0f, false},
    {1.0f, 0.0f, false}, {1.1f, 0.0f, false}, {1.2f, 0.0f, false}, {1.3f, 0.0f, false},
    {1.4f, 0.0f, false}, {1.5f, 0.0f, false}, {1.6f, 0.0f, false}, {5.0f, 5.0f, true},
    {3.0f, 3.0f, true},
}};
// clang-format on

constexpr float kScrollSpeedX = 0.7f;
constexpr float kScrollSpeedY = 0.0f;

constexpr int kClockPeriodMs = 20;

// One step of a sequence that must not stop half-way: a failure of the step is ignored. The end
// of the process is not a failure and passes through.
template <typename Step>
void IgnoringFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

// A pointer position in a window that covers a whole screen, in screen pixels: the window's
// own position is the compositor's secret, its screen's is not.
platform::ScreenPoint OnScreen(const QWidget& window, QPointF local) {
    const QScreen* screen = window.screen();
    const QPoint at =
        local.toPoint() + (screen != nullptr ? screen->geometry().topLeft() : QPoint());
    return {at.x(), at.y()};
}

// A black window over one of the other screens. Its clicks, keys and pointer moves are the
// saver window's: a key typed here reaches the saver window's focused control (the password
// prompt's text box while the prompt is shown).
class ScreenCover : public QWidget {
public:
    explicit ScreenCover(Form1& form)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), form_(form) {
        setWindowTitle(form.windowTitle());
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setCursor(form.cursor());
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter(this).fillRect(event->rect(), Qt::black);
    }
    void keyPressEvent(QKeyEvent* event) override {
        QWidget* target = form_.focusWidget() != nullptr ? form_.focusWidget() : &form_;
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(),
                       event->isAutoRepeat(), static_cast<quint16>(event->count()));
        QCoreApplication::sendEvent(target, &copy);
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        pressed_ = true;
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        event->accept();
        if (!pressed_) return;
        pressed_ = false;
        form_.Form_Click();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        form_.PointerSeenAt(OnScreen(*this, event->position()));
    }
    void enterEvent(QEnterEvent* event) override {
        form_.PointerSeenAt(OnScreen(*this, event->position()));
    }

private:
    Form1& form_;
    bool pressed_ = false;
};

}  // namespace

Form1::Form1() : Form(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(dialogs::kSaverCaption));
    // Every paint covers the whole window itself (the scene, or black before there is one):
    // Qt erases nothing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    target_ = std::make_shared<WindowTarget>([this] { FrameCopied(); });
    windowDC_ = gdi::CreateTargetDC(target_);
    EventSink1 = std::make_shared<engine::FunctionEventSink>(
        [this](Int16 number, const std::string& data) { EventSink1_Event(number, data); });
    probe_ = FrameProbe::FromEnvironment();

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

Form1::~Form1() {
    if (windowDC_ != 0) gdi::DeleteDC(windowDC_);
}

dialogs::frmPassword* Form1::PasswordPrompt() const { return password_.get(); }

// ----- load -----

void Form1::Form_Load() {
    // Findable by its caption from the moment it is loaded.
    if (!hosted_) presence_ = platform::WindowPresence::Register(dialogs::kSaverCaption);
    // The movement check runs from load on.
    Timer3.start();

    // The mouse sensitivity. A number beyond 16 bits is not one the settings dialog ever
    //    writes; it is taken as the default sensitivity 1.
    try {
        SCR::mouseTolerance = RoundToInt16(
            NumericValue(Trim(platform::ReadSetting(SCR::kAppName, "Set", "Mouse", "1"))));
    } catch (const OverflowError&) {  // out of range: the least movement
        SCR::mouseTolerance = 1;
    }
    // The pointer disappears over the window.
    if (!hosted_) platform::SetPointerMode(*this, platform::PointerMode::Hidden);
    // The scene's pictures and sprites.
    LoadSceneAssets();
    Timer1.setInterval(kClockPeriodMs);
    Timer1.start();
    // Far outside the screen, at its final size; the size change builds the drawing
    //    surfaces (size handler).
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    const double screenWidth = static_cast<double>(screen.WidthTwips());
    const double screenHeight = static_cast<double>(screen.HeightTwips());
    if (hosted_ && placedByWindowManager_) {
        resize(forms::TwipsRect(0, 0, screenWidth, screenHeight).size());
    } else if (hosted_ || !platform::ProgramsPlaceWindows()) {
        // Where the compositor places windows, the saver goes fullscreen: the screen's size.
        SetTwipsGeometry(0, 0, screenWidth, screenHeight);
    } else {
        SetTwipsGeometry(3 * screenWidth, 3 * screenHeight, screenWidth + 150, screenHeight + 400);
    }
    SizeChanged();
    SCR::ControlMusic(SCR::kMusicStart);
}

void Form1::LoadSceneAssets() {
    const Int16 count = SCR::spriteCount;
    const auto slotCount = static_cast<std::size_t>(std::max<Int16>(count, 0));
    // One slot per sprite; each sprite is made when first used.
    sprites.assign(slotCount, nullptr);
    // The background; without it there is no scene and the saver ends here.
    if (!surfaceDC) surfaceDC = std::make_shared<engine::CWinGDC>();
    if (!backgroundBitmap) backgroundBitmap = std::make_shared<engine::CWinGBitmap>();
    if (!ReadDIB(*backgroundBitmap, surfaceDC, SCR::appDir + std::string(assets::kBackground))) {
        platform::ShowMessage(kBackgroundMissing, dialogs::kProgramTitle);
        platform::EndProcess(0);
    }
    stage = std::make_shared<engine::CWinGStage>();
    stage->set_Background(backgroundBitmap);
    frameCounts.assign(slotCount, 0);
    edgeModes.assign(slotCount, 0);
    for (std::size_t i = 0; i < slotCount && i < kFrameCounts.size(); ++i) {
        frameCounts[i] = kFrameCounts[i];
    }
    // The frame pictures, each frame a picture of its own.
    for (std::size_t i = 0; i < assets::kSpriteFrames.size(); ++i) {
        const assets::SpriteFrames& frames = assets::kSpriteFrames[i];
        for (int n = 0; n < frames.count; ++n) {
            const auto file = static_cast<std::size_t>(frames.firstFile + n);
            LoadFrame(static_cast<Int16>(i), std::string(assets::kSpriteFiles[file].name),
                      static_cast<Int16>(n));
        }
    }
    // Animation range, transparency and the edge reports of every sprite.
    for (Int16 i = 0; i < count; ++i) {
        engine::CWinGSprite& sprite = Sprite(i);
        sprite.set_FrameNumber(0);
        sprite.set_FirstFrame(0);
        sprite.set_LastFrame(Sub16(frameCounts[static_cast<std::size_t>(i)], 1));
        sprite.set_TransparentColor(assets::kTransparentIndex);
        sprite.set_Sink(EventSink1);
        sprite.set_ID_Done(i);
    }
}

engine::CWinGSprite& Form1::Sprite(Int16 i) {
    if (i < 0 || static_cast<std::size_t>(i) >= sprites.size()) throw SubscriptOutOfRangeError();
    auto& slot = sprites[static_cast<std::size_t>(i)];
    if (!slot) slot = std::make_shared<engine::CWinGSprite>();
    return *slot;
}

void Form1::LoadFrame(Int16 i, const std::string& fileName, Int16 n) {
    auto picture = std::make_shared<engine::CDib>();
    // A frame that cannot be read as an 8-bit picture is an empty picture: 0 x 0 pixels, drawn
    // as nothing. Its size is that of a picture that was never read, whatever part of the file
    // arrived, so the sprite's place and bounds stay those of a point.
    if (!ReadDIB(*picture, SCR::appDir + fileName) || picture->BitsPerPixel() != 8) {
        picture = std::make_shared<engine::CDib>();
    }
    Sprite(i).AddFrame(std::move(picture), n);
}

// ----- size and paint -----

void Form1::resizeEvent(QResizeEvent* event) {
    Form::resizeEvent(event);
    SizeChanged();
}

void Form1::SizeChanged() {
    if (size() == handledSize_) return;
    // Before the scene's assets exist (or after they were released) there is nothing to size.
    if (!surfaceDC || !stage || !backgroundBitmap) return;
    handledSize_ = size();
    Form_Resize();
}

bool Form1::SceneReady() const { return canvasBitmap && stage && surfaceDC && windowDC_ != 0; }

void Form1::Form_Resize() {
    // The window's own palette back, before the new canvas brings its own.
    if (previousPalette != 0) {
        gdi::SelectPalette(windowDC_, static_cast<gdi::HPALETTE>(previousPalette), false);
    }
    // A canvas of the window's client size (pixels).
    canvasBitmap = std::make_shared<engine::CWinGBitmap>();
    canvasBitmap->Create(surfaceDC, RoundToInt16(width()), RoundToInt16(height()));
    // Drawn through the off-screen context.
    surfaceDC->SelectBitmap(canvasBitmap);
    // The scene palette: the background's.
    if (!backgroundBitmap->pal()) throw MissingObjectError();
    canvasBitmap->set_pal(backgroundBitmap->pal()->Clone());
    // The canvas's colour table from it.
    std::array<engine::ColorWord, 256> colors{};
    canvasBitmap->pal()->GetRgbColors(0, 256, colors);
    surfaceDC->SetColorTable(0, 256, colors);
    // The scene palette in the window, keeping the window's own.
    previousPalette =
        static_cast<Int32>(gdi::SelectPalette(windowDC_, canvasBitmap->pal()->hPal(), false));
    gdi::RealizePalette(windowDC_);
    // Every sprite: canvas, place, speed, frame step and bounds.
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    for (Int16 i = 0; i < SCR::spriteCount; ++i) PlaceSprite(i, screen);
    // The background scrolls leftwards.
    scrollStepX = RoundToInt16(kScrollSpeedX * -1.0f);
    scrollStepY = RoundToInt16(kScrollSpeedY * -1.0f);
    Form_Paint();
    if (!Timer1.isActive()) Timer1.start();
}

void Form1::PlaceSprite(Int16 i, const platform::ScreenMetrics& screen) {
    engine::CWinGSprite& sprite = Sprite(i);
    const double SW = static_cast<double>(screen.WidthTwips());
    const double SH = static_cast<double>(screen.HeightTwips());
    const double TX = screen.twipsPerPixelX;
    const double TY = screen.twipsPerPixelY;
    // The sprite draws on the new canvas, and so does the stage.
    sprite.set_canvas(canvasBitmap);
    stage->set_Buffer(canvasBitmap);
    // The sprite's size in twips.
    const Int32 w = RoundToInt32(TX * sprite.Width());
    const Int32 h = RoundToInt32(TY * sprite.Height());
    // A random place on the screen: whole percentages of the free width and height.
    platform::Randomize();
    const float rx = platform::Rnd();
    const float ry = platform::Rnd();
    const double px = std::floor(rx * 100.0f - 50.0f);
    const double py = std::floor(ry * 100.0f - 50.0f);
    const double freeHeight = SH - h;
    const double freeWidth = SW - w;
    const double y = Divide(freeHeight / 2 - py * (freeHeight / 100), TY);
    const double x = Divide(px * (freeWidth / 100) + freeWidth / 2, TX);
    sprite.MoveTo(ToSingle(x), ToSingle(y));
    // The speed: fixed, or a random whole number of steps of 1.5 pixels on each axis.
    if (i < 0 || static_cast<std::size_t>(i) >= kSpriteSpeeds.size()) {
        throw SubscriptOutOfRangeError();
    }
    const SpriteSpeed& speed = kSpriteSpeeds[static_cast<std::size_t>(i)];
    if (!speed.random) {
        sprite.set_Xv(speed.x * 1.5f);
        sprite.set_Yv(speed.y * -1.5f);
    } else {
        float c = speed.x;
        float r = platform::Rnd();
        sprite.set_Xv(std::floor(-c + (2.0f * c + 1.0f) * r) * 1.5f);
        platform::Randomize();
        c = speed.y;
        r = platform::Rnd();
        sprite.set_Yv(std::floor(-c + (2.0f * c + 1.0f) * r) * 1.5f);
    }
    // One animation frame per step.
    sprite.set_Fv(1);
    // The box outside which the sprite has left the screen.
    sprite.Bounds(RoundToInt16(Divide(-10, TX)), RoundToInt16(Divide(-10, TY)),
                  RoundToInt16(Divide(SW + 100, TX)), RoundToInt16(Divide(SH + 100, TY)));
}

void Form1::Form_Paint() {
    ++counters_.frameSteps;
    const Int16 count = SCR::spriteCount;
    // Animation, movement and edges, sprite by sprite; edge reports are handled at once.
    for (Int16 i = 0; i < count; ++i) {
        engine::CWinGSprite& sprite = Sprite(i);
        sprite.AdvanceFrame();
        sprite.Step();
        sprite.CheckBounds();
    }
    // The background at the current offsets.
    if (!stage) throw MissingObjectError();
    stage->Render();
    // The sprites over it, a higher index over a lower one; the stage notes where, so that only
    // what changed need reach the screen.
    for (Int16 i = 0; i < count; ++i) {
        engine::CWinGSprite& sprite = Sprite(i);
        sprite.Draw();
        stage->NoteDrawn(
            {RoundToInt16(sprite.x()), RoundToInt16(sprite.Y()), sprite.Width(), sprite.Height()});
    }
    // The finished canvas to the window in one copy.
    ShowCanvas();
}

namespace {

gdi::XrgbView ViewOf(QImage& image, int width, int height) {
    return {reinterpret_cast<std::uint32_t*>(image.bits()), width, height,
            static_cast<std::ptrdiff_t>(image.bytesPerLine() / 4)};
}

}  // namespace

void Form1::ShowCanvas() {
    if (!canvasBitmap || !surfaceDC) throw MissingObjectError();
    if (painting_) {
        wing::WinGBitBlt(windowDC_, 0, 0, canvasBitmap->Width(), std::abs(canvasBitmap->Height()),
                         surfaceDC->hDC(), 0, 0);
        return;
    }
    if (presentWindow_ != 0 || (!presenter_ && isVisible())) {
        if (platform::ServerImage* image = ServerImage()) {
            SendToServer(*image, false);
            return;
        }
    }
    if (presenter_) {
        // The frame goes into an image of the window's size, and from there to its presenter.
        if (ownImage_.size() != size()) ownImage_ = QImage(size(), QImage::Format_RGB32);
        target_->SetView(ViewOf(ownImage_, width(), height()));
        {
            struct CopyScope {
                Form1& form;
                ~CopyScope() {
                    form.painting_ = false;
                    form.target_->SetView({});
                }
            } scope{*this};
            painting_ = true;
            ShowCanvas();
        }
        presenter_(ownImage_);
        return;
    }
    // The window's pixels are written while it paints: a paint of the whole window, now.
    if (!isVisible()) return;
    showingCanvas_ = true;
    repaint();
    showingCanvas_ = false;
}

platform::ServerImage* Form1::ServerImage() {
    if (serverImageRefused_ || !canvasBitmap) return nullptr;
    const std::int32_t width = canvasBitmap->Width();
    const std::int32_t height = std::abs(canvasBitmap->Height());
    // A window of our own is covered by the server's picture; Qt may make its native window
    // anew (new flags, a new parent), and the picture then goes with the old one.
    const std::uint64_t window = presentWindow_ != 0 ? presentWindow_ : winId();
    if (serverImage_ && serverImageWindow_ != window) serverImage_.reset();
    if (!serverImage_) {
        serverImage_ = platform::OpenServerImage(window, width, height, presentWindow_ == 0);
        if (!serverImage_) {
            serverImageRefused_ = true;
            return nullptr;
        }
        serverImageWindow_ = window;
        // A picture the server lost is sent again at once, not at the next tick.
        serverImage_->SetOnLost([this] {
            if (!sending_ && !unloading_ && SceneReady() && serverImage_) {
                SendToServer(*serverImage_, true);
            }
        });
    }
    if (!serverImage_->Resize(width, height)) {
        serverImage_.reset();
        serverImageRefused_ = true;
        return nullptr;
    }
    return serverImage_.get();
}

void Form1::SendToServer(platform::ServerImage& image, bool whole) {
    if (!canvasBitmap || !surfaceDC || !stage) throw MissingObjectError();
    const gdi::Surface8* surface = gdi::GetSurface8(canvasBitmap->hBM());
    if (surface == nullptr) throw MissingObjectError();
    const Int32 width = canvasBitmap->Width();
    const Int32 height = std::abs(canvasBitmap->Height());
    struct SendScope {
        Form1& form;
        ~SendScope() {
            form.sending_ = false;
            form.target_->SetQuiet(false);
            form.target_->SetView({});
        }
    } scope{*this};
    sending_ = true;
    // What the stage says changed holds against the frame rendered just before, in the same
    // colours; anything else is sent whole.
    const engine::StageDamage damage = stage->Damage();
    whole = image.BeginFrame() || whole || damage.whole ||
            stage->RenderCount() != sentRender_ + 1 || surface->xrgb != sentColors_;
    target_->SetView(image.Pixels());
    target_->SetQuiet(true);
    sentRects_.clear();
    if (whole) {
        wing::WinGBitBlt(windowDC_, 0, 0, width, height, surfaceDC->hDC(), 0, 0);
        sentRects_.push_back({0, 0, width, height});
    } else {
        for (const engine::StageRect& r : damage.rects) {
            sentRects_.push_back({r.x, r.y, r.width, r.height});
        }
        // The server's picture may show only a part of the window (the part on the screen):
        // the move uncovers a strip at that part's edges too.
        const platform::ImageRect v = image.Visible();
        if (damage.dx > 0) sentRects_.push_back({v.x, v.y, damage.dx, v.height});
        if (damage.dx < 0) {
            sentRects_.push_back({v.x + v.width + damage.dx, v.y, -damage.dx, v.height});
        }
        if (damage.dy > 0) sentRects_.push_back({v.x, v.y, v.width, damage.dy});
        if (damage.dy < 0) {
            sentRects_.push_back({v.x, v.y + v.height + damage.dy, v.width, -damage.dy});
        }
        for (const platform::ImageRect& r : sentRects_) {
            wing::WinGBitBlt(windowDC_, r.x, r.y, r.width, r.height, surfaceDC->hDC(), r.x, r.y);
        }
    }
    if (!image.Send(whole ? 0 : damage.dx, whole ? 0 : damage.dy, sentRects_)) {
        // The server went away from under the picture: whole frames through the toolkit.
        serverImageRefused_ = true;
        return;
    }
    sentRender_ = stage->RenderCount();
    sentColors_ = surface->xrgb;
    counters_.directCopy = true;
    target_->SetQuiet(false);
    FrameCopied();
}

void Form1::FrameCopied() {
    ++counters_.framesShown;
    if (counters_.firstFrameSteadyNs < 0) {
        counters_.firstFrameSteadyNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                           std::chrono::steady_clock::now().time_since_epoch())
                                           .count();
    }
    if (probe_ && canvasBitmap) {
        probe_->FrameShown(*canvasBitmap, counters_.framesShown, counters_.ticks);
    }
}

QImage* Form1::WindowSystemImage() const {
    // While the window paints into the window system's buffer, its painting is redirected to
    // that buffer's image at the window's offset in it.
    QBackingStore* store = backingStore();
    QPoint offset;
    QPaintDevice* device = redirected(&offset);
    if (store == nullptr || device == nullptr || device != store->paintDevice() ||
        !offset.isNull() || device->devType() != QInternal::Image) {
        return nullptr;
    }
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied) {
        return nullptr;
    }
    // One image pixel per window pixel, and writing must not make Qt copy the image (a shared
    // image would be detached).
    if (!image->isDetached() || image->devicePixelRatio() != 1.0 || image->width() < width() ||
        image->height() < height()) {
        return nullptr;
    }
    return image;
}

void Form1::paintEvent(QPaintEvent* event) {
    if (!SceneReady()) {
        QPainter(this).fillRect(event->rect(), Qt::black);
        return;
    }
    if (!showingCanvas_ && presentWindow_ == 0 && ServerImage() != nullptr) {
        // The server's picture covers the window, so Qt's own image of it is left as it is:
        // filling a full-screen image that nobody sees cost the first frame more than anything
        // else. A paint that the window system asks for is a frame step of its own.
        Form_Paint();
        return;
    }
    // The frame goes straight into the image that the window system shows (no copy of our own,
    // no conversion); only where there is no such image does it go through one of our own.
    QImage* direct = WindowSystemImage();
    counters_.directCopy = direct != nullptr;
    if (direct != nullptr) {
        target_->SetView(ViewOf(*direct, width(), height()));
    } else {
        if (ownImage_.size() != size()) ownImage_ = QImage(size(), QImage::Format_RGB32);
        target_->SetView(ViewOf(ownImage_, width(), height()));
    }
    {
        struct PaintScope {
            Form1& form;
            ~PaintScope() {
                form.painting_ = false;
                form.target_->SetView({});
            }
        } scope{*this};
        painting_ = true;
        if (showingCanvas_) {
            ShowCanvas();  // the frame just composed
        } else {
            // A paint that the window system asks for is a frame step of its own.
            Form_Paint();
        }
    }
    if (direct == nullptr) {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(event->rect(), ownImage_, event->rect());
    }
}

void Form1::Timer1_Timer() {
    const auto now = std::chrono::steady_clock::now();
    if (counters_.ticks > 0) {
        const auto gap =
            std::chrono::duration_cast<std::chrono::microseconds>(now - lastTick_).count();
        if (gap > counters_.maxTickGapUs) counters_.maxTickGapUs = gap;
        if (gap > kClockPeriodMs * 1500) ++counters_.lateTicks;
    }
    lastTick_ = now;
    ++counters_.ticks;
    // A tick that arrives while one is handled is dropped.
    if (paintBusy != kFalse) {
        ++counters_.ticksDropped;
        return;
    }
    // Ticks arriving from here on, while DoEvents below lets them in, are dropped.
    paintBusy = kTrue;
    if (!stage) throw MissingObjectError();
    stage->set_bx(Add16(stage->bx(), scrollStepX));
    stage->set_by(Add16(stage->by(), scrollStepY));
    Form_Paint();
    // Clicks, keys and the movement check run now.
    platform::DoEvents();
    paintBusy = kFalse;
    if (probe_) probe_->TickDone(counters_);
}

void Form1::EventSink1_Event(Int32 EventNumber, const std::string& EventData) {
    if (EventNumber < 0 || static_cast<std::size_t>(EventNumber) >= sprites.size() ||
        static_cast<std::size_t>(EventNumber) >= edgeModes.size()) {
        throw SubscriptOutOfRangeError();
    }
    auto& slot = sprites[static_cast<std::size_t>(EventNumber)];
    if (!slot) throw MissingObjectError();
    engine::CWinGSprite& s = *slot;
    const bool vertical = EventData == "BOTTOM" || EventData == "TOP";
    if (edgeModes[static_cast<std::size_t>(EventNumber)] == 1) {
        // Bounce.
        if (vertical) {
            s.set_Yv(-s.Yv());
        } else if (EventData == "LEFT" || EventData == "RIGHT") {
            s.set_Xv(-s.Xv());
        }
        return;
    }
    // Wrap: a sprite that has left the screen completely comes back just outside the opposite
    // edge. The screen size in pixels, single precision.
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    const float W = DivideSingle(static_cast<float>(screen.WidthTwips()),
                                 static_cast<float>(screen.twipsPerPixelX));
    const float H = DivideSingle(static_cast<float>(screen.HeightTwips()),
                                 static_cast<float>(screen.twipsPerPixelY));
    if (vertical) {
        const float height = s.Height();
        if (s.Y() <= -height) {
            s.MoveTo(s.x(), H);
        } else if (s.Y() > H) {
            s.MoveTo(s.x(), -height);
        }
    } else if (EventData == "LEFT") {
        if (s.x() < -static_cast<float>(s.Width())) s.MoveTo(W, s.Y());
    } else if (EventData == "RIGHT") {
        if (s.x() > W) s.MoveTo(-static_cast<float>(s.Width()), s.Y());
    }
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

void Form1::mouseMoveEvent(QMouseEvent* event) {
    if (compositorPlaces_) PointerSeenAt(OnScreen(*this, event->position()));
    Form::mouseMoveEvent(event);
}

void Form1::enterEvent(QEnterEvent* event) {
    if (compositorPlaces_) PointerSeenAt(OnScreen(*this, event->position()));
    Form::enterEvent(event);
}

void Form1::PointerSeenAt(platform::ScreenPoint position) { pointerSeen_ = position; }

bool Form1::event(QEvent* event) {
    // The other screens show the saver window's pointer.
    if (event->type() == QEvent::CursorChange) {
        for (const auto& cover : covers_) cover->setCursor(cursor());
    }
    return Form::event(event);
}

void Form1::ShowOnEveryScreen() {
    compositorPlaces_ = true;
    setMouseTracking(true);
    QScreen* primary = QGuiApplication::primaryScreen();
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen == primary) continue;
        auto cover = std::make_unique<ScreenCover>(*this);
        cover->setScreen(screen);
        cover->setGeometry(screen->geometry());
        cover->showFullScreen();
        covers_.push_back(std::move(cover));
    }
    // Last, so that the compositor gives it the keyboard.
    Load();
    if (!IsLoaded()) return;
    if (primary != nullptr) setScreen(primary);
    showFullScreen();
    raise();
    activateWindow();
}

void Form1::Form_Click() {
    if (!hosted_) RequestExit();
}

bool Form1::Form_KeyDown(int, Qt::KeyboardModifiers) {
    if (hosted_) return false;
    RequestExit();
    return true;
}

void Form1::Timer3_Timer() {
    SCR::ControlMusic(SCR::kMusicKeepLooping);
    if (hosted_ || !movementWatched_) return;
    // Movement beyond the tolerance on either axis since the last check.
    if (compositorPlaces_) {
        if (!pointerSeen_) return;  // no window of the saver has seen the pointer yet
        SCR::cursorPos = *pointerSeen_;
        if (!pointerBaselineSet_) {
            // Where the pointer stood when the saver first saw it, not a movement.
            pointerBaselineSet_ = true;
            SCR::lastMouseX = ToInt16(SCR::cursorPos.x);
            SCR::lastMouseY = ToInt16(SCR::cursorPos.y);
            return;
        }
    } else {
        SCR::cursorPos = platform::CursorPosition();
    }
    const Int32 dx = std::abs(Sub32(SCR::lastMouseX, SCR::cursorPos.x));
    const Int32 dy = std::abs(Sub32(SCR::lastMouseY, SCR::cursorPos.y));
    if (dx > SCR::mouseTolerance || dy > SCR::mouseTolerance) RequestExit();
    // The next check measures from here, also after a request that showed the password
    // prompt instead of ending (the saver goes on, and the same move must not count twice).
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
        password_ = std::make_unique<dialogs::frmPassword>(
            *this, [] { SCR::ControlMusic(SCR::kMusicStop); },
            compositorPlaces_ ? dialogs::frmPassword::Placement::InsideSaverWindow
                              : dialogs::frmPassword::Placement::OwnWindow);
        password_->SetOnUnloaded([this] {
            // A cancelled prompt goes; the next request makes a fresh one. It is deleted from
            // the event loop, since its own handler is still running.
            if (password_) password_.release()->deleteLater();
        });
    }
    // Shown again while shown, it only comes forward; the text typed so far stays.
    password_->ShowOnTop();
}

// ----- unload -----

void Form1::Form_Unload(int& cancel) {
    // An end request from the events that run during the unload finds it under way.
    if (unloading_) {
        cancel = 1;
        return;
    }
    unloading_ = true;
    IgnoringFailure([&] { Timer1.stop(); });
    IgnoringFailure([&] { SCR::ControlMusic(SCR::kMusicStop); });
    IgnoringFailure([&] { platform::DoEvents(); });
    // The window's own palette comes back.
    IgnoringFailure([&] {
        if (previousPalette != 0) RestoreWindowPalette();
    });
    // The scene's objects go, in this order.
    IgnoringFailure([&] { surfaceDC.reset(); });
    IgnoringFailure([&] { stage.reset(); });
    IgnoringFailure([&] { backgroundBitmap.reset(); });
    for (Int16 i = 0; i < SCR::spriteCount; ++i) {
        IgnoringFailure([&] { sprites.at(static_cast<std::size_t>(i)).reset(); });
    }
    IgnoringFailure([&] { canvasBitmap.reset(); });
    IgnoringFailure([&] {
        if (probe_) probe_->WriteStats(counters_);
    });
    platform::EndProcess(0);
}

void Form1::RestoreWindowPalette() {
    gdi::SelectPalette(windowDC_, static_cast<gdi::HPALETTE>(previousPalette), false);
}

}  // namespace plenova::saver
