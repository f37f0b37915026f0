#include "saver/scr.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include <QLabel>

#include "base/text.h"
#include "base/twips.h"
#include "dialogs/frm_prev.h"
#include "dialogs/frm_setting.h"
#include "dialogs/saver_names.h"
#include "forms/form_support.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "platform/multimedia.h"
#include "platform/process_end.h"
#include "platform/screen.h"
#include "platform/settings_store.h"
#include "platform/window_presence.h"
#include "platform/window_system.h"
#include "saver/form1.h"

namespace plenova::saver::SCR {

std::string appDir;
Int16 spriteCount = 0;
platform::ScreenPoint cursorPos;
Int16 lastMouseX = 0;
Int16 lastMouseY = 0;
Int16 mouseTolerance = 0;
Int16 bgmOpen = kFalse;
Int16 previewLeft = 0;
Int16 previewTop = 0;
Int16 previewWidth = 0;
Int16 previewHeight = 0;
bool hostMuted = false;
std::string installedDataDir;

namespace {

struct Windows {
    std::unique_ptr<Form1> form1;
    std::unique_ptr<dialogs::frmSetting> setting;
    std::unique_ptr<dialogs::frmPrev> prev;
};

Windows& Loaded() {
    static Windows windows;
    return windows;
}

constexpr const char* kMusicFileCheck = "Scr.wav";  // the existence check's spelling
constexpr const char* kMusicFileOpen = "SCR.wav";   // the open command's spelling

void RunSaver() {
    spriteCount = 13;
    Windows& windows = Loaded();
    windows.form1 = std::make_unique<Form1>();
    Form1& form = *windows.form1;
    form.Load();

    // The two auxiliary controls go far beyond the right edge of the screen.
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    const int outOfSight = forms::TwipsToPixelsX(2.0 * static_cast<double>(screen.WidthTwips()));
    form.picIME->move(outOfSight, form.picIME->y());
    form.imgMouse->move(outOfSight, form.imgMouse->y());

    if (platform::ProgramsPlaceWindows()) {
        form.set_Left(-100);
        form.set_Top(-180);
        form.Show();

        cursorPos = platform::CursorPosition();
        lastMouseX = ToInt16(cursorPos.x);
        lastMouseY = ToInt16(cursorPos.y);
        form.WatchMovement();

        platform::MakeTopmost(form);
    } else {
        // Positions, the stays-on-top hint and the global pointer mean nothing to a Wayland
        // compositor: fullscreen on every screen covers panels and bars too.
        form.ShowOnEveryScreen();
        form.WatchMovement();
    }
    form.picIME->setFocus();
}

void RunPreview(platform::ForeignWindowHandle host, const std::string& hostText) {
    if (!platform::ProgramsPlaceWindows()) {
        // Only X11 embeds one program's window in another's; XWayland would have been chosen
        // before the program started, had there been one.
        std::fprintf(stderr,
                     "%s: /p shows the preview inside an X11 window, and there is no X server "
                     "(this Wayland session has no XWayland: DISPLAY is not set)\n",
                     kAppName);
        platform::EndProcess(1);
        return;
    }
    platform::WindowRect rect;
    platform::GetForeignWindowRect(host, rect);  // on failure the rectangle stays all zero
    previewLeft = 0;
    previewTop = 0;
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    previewWidth = PreviewExtent(Sub32(rect.right, rect.left), screen.twipsPerPixelX);
    previewHeight = PreviewExtent(Sub32(rect.bottom, rect.top), screen.twipsPerPixelY);

    Windows& windows = Loaded();
    windows.prev = std::make_unique<dialogs::frmPrev>();
    dialogs::frmPrev& form = *windows.prev;
    form.Load();
    // The child style and the new parent in one step. A host that does not exist (or a
    // platform without foreign windows) leaves nothing to show in: the preview is unloaded,
    // which ends the program, instead of standing alone on the desktop.
    if (!platform::ReparentIntoForeignWindow(form, host)) {
        std::fprintf(stderr,
                     "%s: /p needs the handle of an existing window, in decimal digits; "
                     "\"%s\" names none, so there is no preview\n",
                     kAppName, Trim(hostText).c_str());
        form.Unload();
        return;
    }
    PlacePreview();
    form.show();
    form.WatchHost(host);
}

void RunSetting() {
    Windows& windows = Loaded();
    windows.setting = std::make_unique<dialogs::frmSetting>();
    windows.setting->Show();
}

}  // namespace

Form1* form1() { return Loaded().form1.get(); }
dialogs::frmSetting* frmSetting() { return Loaded().setting.get(); }
dialogs::frmPrev* frmPrev() { return Loaded().prev.get(); }

bool AnyWindowLoaded() {
    const Windows& w = Loaded();
    return (w.form1 && w.form1->IsLoaded()) || (w.setting && w.setting->IsLoaded()) ||
           (w.prev && w.prev->IsLoaded());
}

void ResetGlobals() {
    Windows& windows = Loaded();
    windows.form1.reset();
    windows.setting.reset();
    windows.prev.reset();
    appDir.clear();
    spriteCount = 0;
    cursorPos = {};
    lastMouseX = lastMouseY = 0;
    mouseTolerance = 0;
    bgmOpen = kFalse;
    previewLeft = previewTop = previewWidth = previewHeight = 0;
    hostMuted = false;
    installedDataDir.clear();
}

std::string SwitchOf(std::string_view argumentText) { return Left(Trim(argumentText), 2); }

platform::ForeignWindowHandle HostHandleOf(std::string_view argumentText) {
    try {
        return RoundToInt32(NumericValue(Mid(argumentText, 4)));
    } catch (const OverflowError&) {  // out of range: no extent
        return 0;
    }
}

std::string DataFolderOf(std::string_view storedDir) {
    std::string folder(storedDir);
    if (Right(folder, 1) != "\\") folder += '\\';
    return folder;
}

std::string StartupDataFolder(std::string_view storedDir, std::string_view installedDir) {
    if (storedDir.empty() && !installedDir.empty()) return DataFolderOf(installedDir);
    return DataFolderOf(storedDir);
}

Int16 PreviewExtent(std::int64_t pixels, Int32 twipsPerPixel) {
    const double twips = static_cast<double>(pixels) * twipsPerPixel;
    if (twips < 0) return 0;
    if (twips > std::numeric_limits<Int16>::max()) return std::numeric_limits<Int16>::max();
    return RoundToInt16(twips);
}

void Main(std::string_view argumentText) {
    appDir = StartupDataFolder(platform::ReadSetting(kAppName, "App", "Dir", ""), installedDataDir);
    {
        // The windows' pictures: beside the program, else in the data folder.
        std::vector<std::string> folders;
        try {
            folders.push_back(platform::CurrentMachine().ProgramFolder());
        } catch (const std::exception&) {
        }
        folders.push_back(appDir);
        forms::SetResourceFolders(std::move(folders));
    }
    // The host handle is read in every mode.
    const std::string switchText = SwitchOf(argumentText);
    const platform::ForeignWindowHandle host = HostHandleOf(argumentText);
    if (platform::WindowWithCaptionExists(dialogs::kSaverCaption) ||
        platform::WindowWithCaptionExists(dialogs::kSettingCaption)) {
        // Nothing opens beside a running copy; the one running is where to look.
        std::fprintf(stderr, "%s: the saver or its settings dialog is already open\n", kAppName);
        platform::EndProcess(0);
    }
    if (switchText == "/S" || switchText == "/s") {
        RunSaver();
    } else if (switchText == "/P" || switchText == "/p") {
        RunPreview(host, Mid(argumentText, 4));
    } else if (switchText == "/C" || switchText == "/c") {
        RunSetting();
    } else if (!Trim(argumentText).empty()) {
        // The command line opens nothing; whoever typed it learns why.
        std::fprintf(stderr,
                     "%s: unknown switch \"%s\"; the switches are /s (the saver), /c (its "
                     "settings) and /p HANDLE (its preview)\n",
                     kAppName, switchText.c_str());
    }
}

void PlacePreview() {
    Windows& windows = Loaded();
    if (!windows.prev) {
        // Used before start-up loaded the form: load it, as a reference to a form does.
        windows.prev = std::make_unique<dialogs::frmPrev>();
        windows.prev->Load();
    }
    dialogs::frmPrev& form = *windows.prev;
    form.set_Left(previewLeft);
    form.set_Top(previewTop);
    form.set_Width(previewWidth);
    form.set_Height(previewHeight);
    const platform::ScreenMetrics screen = platform::ScreenInfo();
    const double width = Divide(previewWidth, screen.twipsPerPixelX);
    const double height = Divide(previewHeight, screen.twipsPerPixelY);
    form.imgPrev->resize(static_cast<int>(RoundHalfEven(width)),
                         static_cast<int>(RoundHalfEven(height)));
    form.imgPrev->move(0, 0);
}

bool SettingIsOn(const std::string& value) {
    try {
        return ConvertToNumber(value) == 1.0;
    } catch (const TypeMismatchError&) {  // not a number: off
        return false;
    }
}

void ControlMusic(Int16 action) {
    if (!platform::FileExists(appDir + kMusicFileCheck)) return;
    switch (action) {
        case kMusicStart: {
            if (hostMuted) return;
            if (SettingIsOn(platform::ReadSetting(kMuteAppName, "Set", "Mute", "0"))) return;
            bgmOpen = kFalse;
            if (platform::MciSendString("open " + appDir + kMusicFileOpen + " alias bgm") != 0)
                return;
            if (platform::MciSendString("play bgm notify") == 0) {
                bgmOpen = kTrue;
            } else {
                platform::MciExecute("close bgm");
            }
            return;
        }
        case kMusicStop:
            if (bgmOpen == kTrue) {
                platform::MciExecute("stop bgm");
                platform::MciExecute("close bgm");
            }
            return;
        case kMusicKeepLooping: {
            if (bgmOpen != kTrue) return;
            std::string mode(80, ' ');
            if (platform::MciSendString("status bgm mode", &mode, 80) != 0) return;
            if (Left(mode, 7) != "playing") {
                platform::MciExecute("seek bgm to start");
                platform::MciExecute("play bgm notify");
            }
            return;
        }
        default:
            return;
    }
}

}  // namespace plenova::saver::SCR
