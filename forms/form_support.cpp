#include "forms/form_support.h"

#include <mutex>

#include <QCloseEvent>
#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>

#include "base/checked.h"
#include "base/twips.h"
#include "platform/machine.h"
#include "platform/screen.h"
#include "assets/asset_names.h"

namespace plenova::forms {

namespace {

std::mutex resourceMutex;
std::vector<std::string>& Folders() {
    static std::vector<std::string> folders;
    return folders;
}
bool& FoldersSet() {
    static bool set = false;
    return set;
}

int ToPixels(double twips, Int32 twipsPerPixel) {
    return static_cast<int>(RoundHalfEven(TwipsToPixels(twips, twipsPerPixel)));
}

std::string JoinPath(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string path = folder;
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    path += name;
    return path;
}

}  // namespace

void InstallFontSubstitutes() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The substitute list is tried in order; the second is the family name that some
        // fontconfig set-ups report for the same font.
        QFont::insertSubstitutions(QString::fromUtf8(kUiFontFamily),
                                   {QStringLiteral("IPAPGothic"), QStringLiteral("IPAPゴシック")});
    });
}

QFont UiFont(double points, bool bold) {
    InstallFontSubstitutes();
    QFont font(QString::fromUtf8(kUiFontFamily));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

int TwipsToPixelsX(double twips) {
    return ToPixels(twips, platform::ScreenInfo().twipsPerPixelX);
}

int TwipsToPixelsY(double twips) {
    return ToPixels(twips, platform::ScreenInfo().twipsPerPixelY);
}

QRect TwipsRect(double left, double top, double width, double height) {
    const platform::ScreenMetrics m = platform::ScreenInfo();
    return QRect(ToPixels(left, m.twipsPerPixelX), ToPixels(top, m.twipsPerPixelY),
                 ToPixels(width, m.twipsPerPixelX), ToPixels(height, m.twipsPerPixelY));
}

double PixelsToTwipsX(double pixels) {
    return PixelsToTwips(pixels, platform::ScreenInfo().twipsPerPixelX);
}

double PixelsToTwipsY(double pixels) {
    return PixelsToTwips(pixels, platform::ScreenInfo().twipsPerPixelY);
}

QColor ColorWord(std::uint32_t word) {
    return QColor(static_cast<int>(word & 0xFF), static_cast<int>((word >> 8) & 0xFF),
                  static_cast<int>((word >> 16) & 0xFF));
}

void SetColors(QWidget& widget, const QColor& text, const QColor& background, bool opaque) {
    QPalette palette = widget.palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, text);
    palette.setColor(QPalette::Window, background);
    widget.setPalette(palette);
    // Buttons and check boxes fill with their button colour by default; these fill with the
    // window colour like every other control.
    widget.setBackgroundRole(QPalette::Window);
    widget.setAutoFillBackground(opaque);
}

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text, double left,
                        double top, double width, double height) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(TwipsRect(left, top, width, height));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// ----- pictures -----

void SetResourceFolders(std::vector<std::string> folders) {
    std::lock_guard lock(resourceMutex);
    Folders() = std::move(folders);
    FoldersSet() = true;
}

std::vector<std::string> ResourceFolders() {
    {
        std::lock_guard lock(resourceMutex);
        if (FoldersSet()) return Folders();
    }
    try {
        return {platform::CurrentMachine().ProgramFolder()};
    } catch (const std::exception&) {  // no machine: no folder to look in
        return {};
    }
}

std::string FindResource(std::string_view name) {
    try {
        platform::Machine& machine = platform::CurrentMachine();
        for (const std::string& folder : ResourceFolders()) {
            const std::string path = JoinPath(folder, name);
            if (machine.FileExists(path)) return path;
        }
    } catch (const std::exception&) {
        // No machine: no pictures; the stand-ins serve.
    }
    return {};
}

namespace {

QString HostPathOf(const std::string& windowsPath) {
    try {
        if (auto host = platform::CurrentMachine().ToHost(windowsPath))
            return QString::fromStdString(host->string());
    } catch (const std::exception&) {  // no machine: the stand-in is drawn
    }
    return {};
}

QPixmap StandIn(QSize size, const std::function<void(QPixmap&)>& draw) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::black);
    if (draw) draw(pixmap);
    return pixmap;
}

}  // namespace

QPixmap LoadResourcePicture(std::string_view name, QSize size,
                            const std::function<void(QPixmap&)>& standIn) {
    const std::string path = FindResource(name);
    if (!path.empty()) {
        QImage image;
        // Pictures are small; a file that claims a huge size is not taken.
        const QString host = HostPathOf(path);
        if (!host.isEmpty() && image.load(host) && !image.isNull() && image.width() <= 4096 &&
            image.height() <= 4096) {
            return QPixmap::fromImage(image);
        }
    }
    return StandIn(size, standIn);
}

QIcon LoadResourceIcon(std::string_view name, const std::function<void(QPixmap&)>& standIn) {
    const std::string path = FindResource(name);
    if (!path.empty()) {
        const QString host = HostPathOf(path);
        if (!host.isEmpty()) {
            QIcon icon(host);
            if (!icon.availableSizes().isEmpty()) return icon;
        }
    }
    QIcon icon;
    for (int side : {32, 16}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        if (standIn) standIn(pixmap);
        icon.addPixmap(pixmap);
    }
    return icon;
}

void DrawProgramIconStandIn(QPixmap& pixmap) {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(40, 170, 60));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(pixmap.rect().adjusted(2, 2, -2, -2));
}

QIcon ProgramIcon() {
    const QIcon themed = QIcon::fromTheme(QString::fromUtf8(kIconThemeName));
    if (!themed.isNull()) return themed;
    return LoadResourceIcon(assets::kProgramIcon, DrawProgramIconStandIn);
}

// ----- Form -----

Form::Form(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
    InstallFontSubstitutes();
}

Form::~Form() = default;

void Form::Load() {
    if (loaded_) return;
    loaded_ = true;
    Form_Load();
}

void Form::Show() {
    Load();
    if (!loaded_) return;  // its load handler unloaded it again
    show();
    raise();
    activateWindow();
}

void Form::ShowModal() {
    setWindowModality(Qt::ApplicationModal);
    Show();
    if (!loaded_) return;
    QEventLoop loop;
    modalLoop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
    // The window that opened the dialog takes the keyboard back, as the desktop would give it.
    if (QWidget* owner = parentWidget()) owner->window()->activateWindow();
}

bool Form::RunUnload() {
    if (!loaded_) return true;
    int cancel = 0;
    Form_Unload(cancel);
    if (cancel != 0) return false;
    loaded_ = false;
    if (modalLoop_ != nullptr) modalLoop_->quit();
    if (onUnloaded_) {
        // The callback may schedule our deletion; run it from a copy.
        const std::function<void()> callback = onUnloaded_;
        callback();
    }
    return true;
}

void Form::Unload() {
    if (RunUnload()) hide();
}

void Form::closeEvent(QCloseEvent* event) {
    if (RunUnload()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void Form::set_Left(double twips) {
    leftTwips_ = twips;
    ApplyGeometry();
}

void Form::set_Top(double twips) {
    topTwips_ = twips;
    ApplyGeometry();
}

void Form::set_Width(double twips) {
    widthTwips_ = twips;
    ApplyGeometry();
}

void Form::set_Height(double twips) {
    heightTwips_ = twips;
    ApplyGeometry();
}

void Form::SetTwipsGeometry(double left, double top, double width, double height) {
    leftTwips_ = left;
    topTwips_ = top;
    widthTwips_ = width;
    heightTwips_ = height;
    ApplyGeometry();
}

void Form::ApplyGeometry() {
    const QRect r = TwipsRect(leftTwips_, topTwips_, widthTwips_, heightTwips_);
    if (isWindow()) {
        move(r.topLeft());  // a window's position is that of its outer frame
        resize(r.size());
    } else {
        setGeometry(r);
    }
}

void Form::SetFixedClientTwips(double width, double height) {
    setFixedSize(TwipsToPixelsX(width), TwipsToPixelsY(height));
    widthTwips_ = PixelsToTwipsX(frameGeometry().width());
    heightTwips_ = PixelsToTwipsY(frameGeometry().height());
}

void Form::CenterOnScreen() {
    CenterOuterSize(frameGeometry().size());
    // Before the first show the frame is unknown and the outer size is the client area's: a
    // window manager's title bar and borders come later (FrameKnown).
    centerOnFrame_ = true;
}

void Form::CenterOuterSize(QSize outer) {
    const platform::ScreenMetrics m = platform::ScreenInfo();
    const double outerWidth = PixelsToTwipsX(outer.width());
    const double outerHeight = PixelsToTwipsY(outer.height());
    topTwips_ = (static_cast<double>(m.HeightTwips()) - outerHeight) / 2;
    leftTwips_ = (static_cast<double>(m.WidthTwips()) - outerWidth) / 2;
    move(TwipsToPixelsX(leftTwips_), TwipsToPixelsY(topTwips_));
}

void Form::FrameKnown() {
    if (!centerOnFrame_ || !isWindow() || !isVisible()) return;
    const QRect outer = frameGeometry();
    // Without a window manager, or before it has framed the window, the frame is the client
    // area and the first centring stands.
    if (outer.size() == size()) return;
    // Once only: a window the user has moved afterwards stays where it was put.
    centerOnFrame_ = false;
    widthTwips_ = PixelsToTwipsX(outer.width());
    heightTwips_ = PixelsToTwipsY(outer.height());
    CenterOuterSize(outer.size());
}

bool Form::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The window manager's frame shows up as a move of the client area (the frame's corner
    // stays where it was asked for) or, for some managers, only with the first activation.
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
        FrameKnown();
        break;
    default:
        break;
    }
    return handled;
}

void Form::EnableKeyPreview() {
    keyPreview_ = true;
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

void Form::SetDialogButtons(QPushButton* defaultButton, QPushButton* cancelButton) {
    dialogKeys_ = true;
    defaultButton_ = defaultButton;
    cancelButton_ = cancelButton;
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

bool Form::DialogKey(const QKeyEvent& key, QObject* target) {
    auto pressable = [](QPushButton* button) {
        return button != nullptr && button->isVisible() && button->isEnabled();
    };
    const int code = KeyCodeOf(key);
    if (code == kKeyReturn) {
        if (auto* focused = qobject_cast<QPushButton*>(target)) {
            if (!pressable(focused)) return false;
            focused->click();
            return true;
        }
        if (!pressable(defaultButton_)) return false;
        defaultButton_->click();
        return true;
    }
    if (code == kKeyEscape && pressable(cancelButton_)) {
        cancelButton_->click();
        return true;
    }
    return false;
}

bool Form::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched != this) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (dialogKeys_ && DialogKey(*key, watched)) return true;
        if (keyPreview_ && Form_KeyDown(KeyCodeOf(*key), key->modifiers())) return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form::keyPressEvent(QKeyEvent* event) {
    // With key preview, keys that arrive here from a focused control were already seen by the
    // preview; only keys sent to the window itself (no control has the focus) are new.
    QWidget* focus = focusWidget();
    const bool fromControl = focus != nullptr && focus != this;
    if (keyPreview_ && fromControl) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Keys that a control passed on were seen by the dialog keys already.
    if (dialogKeys_ && !fromControl && DialogKey(*event, this)) {
        event->accept();
        return;
    }
    if (Form_KeyDown(KeyCodeOf(*event), event->modifiers())) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

int KeyCodeOf(const QKeyEvent& event) {
    const int key = event.key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return kKeyReturn;
    if (key == Qt::Key_Escape) return kKeyEscape;
    return key;
}

}  // namespace plenova::forms
