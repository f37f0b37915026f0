// The form toolkit that the windows of both programs share: the classic form life cycle (load,
// show, unload) on top of QWidget, window-level key preview, geometry in twips, the Japanese UI
// font, colour words and the pictures that the windows show.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QWidget>

class QEventLoop;
class QKeyEvent;
class QPushButton;

namespace plenova::forms {

// The dialogs' font family; IPAPGothic stands in for it on Linux.
inline constexpr const char* kUiFontFamily = "ＭＳ Ｐゴシック";

// Key codes the windows test for (the classic virtual-key codes).
inline constexpr int kKeyReturn = 13;
inline constexpr int kKeyEscape = 27;

// Registers the font substitutes of the UI font (idempotent; needs no application object).
void InstallFontSubstitutes();
// The UI font at `points` (fractions allowed: 9.75, 11.25).
QFont UiFont(double points, bool bold = false);

// Twips to pixels on the current screen (platform screen service), rounded half to even.
int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);
// A rectangle given in twips, in pixels.
QRect TwipsRect(double left, double top, double width, double height);
// Pixels to twips on the current screen.
double PixelsToTwipsX(double pixels);
double PixelsToTwipsY(double pixels);

// A colour word (&H00BBGGRR: red in the low byte) as a QColor.
QColor ColorWord(std::uint32_t word);

// Sets the colours of a control: text on background (background only drawn when `opaque`).
void SetColors(QWidget& widget, const QColor& text, const QColor& background, bool opaque);

// A push button of a window, placed in twips. It is never a default button: Enter and Esc
// belong to the window's key preview.
QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text, double left,
                        double top, double width, double height);

// ----- pictures of the windows -----
// The windows' pictures are data files. They are looked for, by name and without regard to
// letter case, in these folders (Windows paths), first match wins. The default is the
// program's own folder; start-up adds the data folder.
void SetResourceFolders(std::vector<std::string> folders);
std::vector<std::string> ResourceFolders();
// The Windows path of the first existing file `name` in the resource folders, or empty.
std::string FindResource(std::string_view name);
// Loads a picture; a missing or unreadable file gives a plain stand-in of `size` drawn by
// `standIn` (or plain black when none is given), so that a window never lacks its picture.
QPixmap LoadResourcePicture(std::string_view name, QSize size,
                            const std::function<void(QPixmap&)>& standIn = {});
// Loads an icon file (all its sizes); stand-in as above, at 32 x 32 and 16 x 16.
QIcon LoadResourceIcon(std::string_view name, const std::function<void(QPixmap&)>& standIn = {});

// The program's icon, the frog: the desktop's icon theme's "plenova" (installed with the
// package), else the program icon file in the resource folders, else a drawn stand-in. Every
// window of the programs shows it (QApplication::setWindowIcon).
QIcon ProgramIcon();
// The program icon's stand-in: a green disc on transparent.
void DrawProgramIconStandIn(QPixmap& pixmap);
inline constexpr const char* kIconThemeName = "plenova";

// A window with the classic life cycle:
//   Load     runs Form_Load once (showing loads a window that is not loaded yet);
//   Show     shows it modelessly and activates it;
//   ShowModal shows it application-modal and returns when it is unloaded;
//   Unload   runs Form_Unload (which may cancel), then hides the window. The object itself
//            stays; its owner deletes it (the unloaded callback is the place to schedule that).
// Closing the window from outside (window manager, Alt+F4) unloads it the same way.
// With key preview on, the window's Form_KeyDown sees every key press of its controls first; a
// key it handles does not reach the control.
class Form : public QWidget {
public:
    explicit Form(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);
    ~Form() override;

    bool IsLoaded() const noexcept { return loaded_; }
    void Load();
    void Show();
    void ShowModal();
    void Unload();
    // Called after every completed unload.
    void SetOnUnloaded(std::function<void()> callback) { onUnloaded_ = std::move(callback); }

    // Outer geometry in twips (Left, Top, Width, Height of the classic form), kept as set and
    // applied in pixels.
    double Left() const noexcept { return leftTwips_; }
    double Top() const noexcept { return topTwips_; }
    double Width() const noexcept { return widthTwips_; }
    double Height() const noexcept { return heightTwips_; }
    void set_Left(double twips);
    void set_Top(double twips);
    void set_Width(double twips);
    void set_Height(double twips);
    // All four at once (one move and one size change).
    void SetTwipsGeometry(double left, double top, double width, double height);

    // Gives the window a fixed client area of `width` x `height` twips.
    void SetFixedClientTwips(double width, double height);
    // Top = (screen height - outer height) / 2, Left likewise, in twips. The outer size is the
    // window's frame as the window manager draws it: when that frame becomes known after the
    // window is shown, the window is centred again by it, once.
    void CenterOnScreen();

protected:
    virtual void Form_Load() {}
    virtual void Form_Unload(int& cancel) { (void)cancel; }
    // Key preview: return true when the key was handled and must not reach the control.
    virtual bool Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift) {
        (void)keyCode;
        (void)shift;
        return false;
    }
    // Installs the key preview on every control that exists now.
    void EnableKeyPreview();
    // The keys of a desktop dialog, for the controls that exist now: Enter presses the focused
    // push button, else `defaultButton`; Esc presses `cancelButton`. Either may be null (no
    // default button: Enter elsewhere goes on to the key preview and the control). They come
    // before the key preview, which sees the keys they leave.
    void SetDialogButtons(QPushButton* defaultButton, QPushButton* cancelButton);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool RunUnload();
    // A dialog key pressed on `target`: true when a button took it.
    bool DialogKey(const QKeyEvent& key, QObject* target);
    void ApplyGeometry();
    void CenterOuterSize(QSize outer);
    void FrameKnown();

    bool loaded_ = false;
    bool keyPreview_ = false;
    bool dialogKeys_ = false;
    QPushButton* defaultButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QEventLoop* modalLoop_ = nullptr;
    std::function<void()> onUnloaded_;
    double leftTwips_ = 0;
    double topTwips_ = 0;
    double widthTwips_ = 0;
    double heightTwips_ = 0;
    bool centerOnFrame_ = false;  // centred before its frame was known
};

// The classic key code of a key event (Return and Enter 13, Esc 27, letters their capital
// ASCII code, anything else Qt's key value).
int KeyCodeOf(const QKeyEvent& event);

}  // namespace plenova::forms
