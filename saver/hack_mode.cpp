#include "saver/hack_mode.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <system_error>

#include <QEvent>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

#include "base/text.h"
#include "forms/form_support.h"
#include "platform/end_signals.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/qt/qt_screen.h"
#include "platform/settings_store.h"
#include "platform/window_system.h"
#include "assets/asset_names.h"
#include "saver/form1.h"
#include "saver/scr.h"

namespace plenova::saver::Hack {

namespace {

namespace fs = std::filesystem;

// How often the host window is checked for its size and its existence.
constexpr int kFollowIntervalMs = 100;
// The ordinary window of -window, shrunk to the screen when that is smaller.
constexpr int kOwnWindowWidth = 960;
constexpr int kOwnWindowHeight = 600;

// The screen as the scene sees it: the size of the window it draws in (sprites are placed in
// it and wrap at its edges), with the real screen's twips per pixel.
class HostedScreen : public platform::ScreenService {
public:
    platform::ScreenMetrics Metrics() override {
        platform::ScreenMetrics metrics = real_.Metrics();
        metrics.widthPixels = std::max(1, size_.width());
        metrics.heightPixels = std::max(1, size_.height());
        return metrics;
    }
    void SetSize(QSize size) { size_ = size; }

private:
    platform::QtScreen real_;
    QSize size_{1, 1};
};

// Nobody could answer a box on a daemon's window: the text goes to standard error, and the
// box's first button is the answer.
class StandardErrorMessages : public platform::MessageBoxService {
public:
    platform::MsgResult Show(const platform::MessageBoxRequest& request) override {
        std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
        switch (request.buttons) {
            case platform::MsgButtons::YesNo:
            case platform::MsgButtons::YesNoCancel: return platform::MsgResult::Yes;
            case platform::MsgButtons::RetryCancel: return platform::MsgResult::Retry;
            case platform::MsgButtons::AbortRetryIgnore: return platform::MsgResult::Abort;
            default: return platform::MsgResult::Ok;
        }
    }
};

// Keeps the scene's screen at the window's size. It sees a resize before the window's own
// handler does, so the size handler already places the sprites in the new size.
class SizeFollower : public QObject {
public:
    explicit SizeFollower(std::shared_ptr<HostedScreen> screen) : screen_(std::move(screen)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            screen_->SetSize(static_cast<QResizeEvent*>(event)->size());
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::shared_ptr<HostedScreen> screen_;
};

struct State {
    std::unique_ptr<Form1> form;
    std::shared_ptr<HostedScreen> screen;
    std::shared_ptr<platform::ScreenService> previousScreen;
    std::unique_ptr<SizeFollower> follower;
    std::unique_ptr<QTimer> hostCheck;
    std::unique_ptr<platform::EndSignalWatch> endSignals;
    std::shared_ptr<platform::MessageBoxService> previousBoxes;
    bool screenInstalled = false;
    bool boxesInstalled = false;
    platform::ForeignWindowHandle root = 0;  // drawn on by --root without a daemon's window
};

State& Current() {
    static State state;
    return state;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "--root" and "-root" are the same switch; the name without its dashes.
std::string_view SwitchName(std::string_view arg) {
    if (arg.starts_with("--")) return arg.substr(2);
    return arg.substr(1);
}

void Complain(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", SCR::kAppName, text.c_str());
}

std::string HexName(platform::ForeignWindowHandle handle) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(handle));
    return text;
}

bool HoldsBackground(const fs::path& folder) {
    std::error_code error;
    // Host paths are UTF-8 bytes, as the picture's name is.
    return fs::is_regular_file(folder / std::string(assets::kBackground), error);
}

void EndScene() {
    State& state = Current();
    if (state.hostCheck) state.hostCheck->stop();
    // The desktop's own background comes back.
    if (state.root != 0) platform::ClearForeignWindow(state.root);
    // The ordinary unload: clock off, music closed, objects released, process ended.
    if (state.form && state.form->IsLoaded()) state.form->Unload();
}

}  // namespace

Parsed ParseArguments(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) text += (text.empty() ? "" : " ") + arg;
    const std::string trimmed = Trim(text);
    Parsed parsed;
    if (!trimmed.starts_with('-') || trimmed == "-s") return parsed;

    parsed.kind = Parsed::Kind::Run;
    parsed.options.target = Target::Window;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (Trim(arg).empty()) continue;  // the blanks of a joined command line
        if (!arg.starts_with('-') || arg == "-" || arg == "--") {
            return {Parsed::Kind::Usage, {}, "unexpected argument \"" + arg + "\""};
        }
        const std::string_view name = SwitchName(arg);
        if (name == "root") {
            parsed.options.target = Target::Root;
        } else if (name == "window") {
            parsed.options.target = Target::Window;
        } else if (name == "window-id") {
            if (i + 1 >= args.size()) {
                return {Parsed::Kind::Usage, {}, "\"" + arg + "\" needs a window id"};
            }
            const std::optional<platform::ForeignWindowHandle> id = ParseWindowId(args[++i]);
            if (!id) {
                return {Parsed::Kind::Usage, {}, "\"" + args[i] + "\" is no window id"};
            }
            parsed.options.target = Target::WindowId;
            parsed.options.windowId = *id;
        } else if (name == "mute") {
            parsed.options.mute = true;
        } else if (name == "help" || name == "h") {
            return {Parsed::Kind::Help, {}, {}};
        } else if (name == "xscreensaver-install") {
            if (args.size() != 1) {
                return {Parsed::Kind::Usage, {}, "\"" + arg + "\" takes no other switch"};
            }
            return {Parsed::Kind::XScreenSaverInstall, {}, {}};
        } else {
            return {Parsed::Kind::Usage, {}, "unknown switch \"" + arg + "\""};
        }
    }
    // Without a target switch ("-mute" alone) the scene gets a window of its own.
    return parsed;
}

std::optional<platform::ForeignWindowHandle> ParseWindowId(std::string_view text) {
    constexpr std::uint64_t kLargest = 0xFFFFFFFFu;
    std::uint64_t value = 0;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        const std::string_view digits = text.substr(2);
        if (digits.empty()) return std::nullopt;
        for (const char c : digits) {
            const int digit = HexDigitValue(c);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > kLargest) return std::nullopt;
        }
    } else {
        if (text.empty()) return std::nullopt;
        for (const char c : text) {
            if (!IsDigit(c)) return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
            if (value > kLargest) return std::nullopt;
        }
    }
    if (value == 0) return std::nullopt;
    return static_cast<platform::ForeignWindowHandle>(value);
}

std::string UsageText(std::string_view programName) {
    const std::string name(programName);
    return "usage: " + name + " [--root | --window-id ID | --window] [--mute]\n" + "       " +
           name + " --xscreensaver-install\n" + "       " + name +
           " /s | /c | /p HANDLE\n"
           "  --root          draw on the window named by $XSCREENSAVER_WINDOW, else on the\n"
           "                  root window (the desktop background) until ended (SIGTERM)\n"
           "  --window-id ID  draw inside the X11 window ID (decimal or 0x hex), at its size\n"
           "  --window        draw in a window of its own (the default)\n"
           "  --mute          no music\n"
           "  --xscreensaver-install\n"
           "                  add the hack to the programs of ~/.xscreensaver (made when missing)\n"
           "  /s, /c, /p      the screen saver, its settings, its preview (Windows style)\n"
           "Each switch also takes one dash (-root).\n";
}

std::optional<fs::path> InstalledDataFolder(const fs::path& programFile) {
    std::error_code error;
    fs::path program = fs::weakly_canonical(programFile, error);
    if (error) program = programFile;
    const fs::path folder = program.parent_path();
    // <prefix>/<lib or libexec>/xscreensaver/<program>
    const fs::path installed = folder.parent_path().parent_path() / "share" / "plenova" / "data";
    if (folder.has_parent_path() && HoldsBackground(installed)) return installed;
    if (HoldsBackground(folder)) return folder;
    return std::nullopt;
}

std::string MachineFolderName(const fs::path& folder) {
    try {
        return platform::CurrentMachine().ToWindows(folder);
    } catch (const std::exception&) {
        // The host path itself, which the machine takes as it stands.
        return folder.string();
    }
}

std::optional<platform::ForeignWindowHandle> ScreenSaverWindow(const char* value) {
    if (value == nullptr || *value == '\0') return platform::ForeignWindowHandle{0};
    return ParseWindowId(Trim(value));
}

namespace {

// The data folder: the setup's choice, else the installed data. A chosen folder without the
// background (an uninstalled copy's) falls back to the installed data too, for there is nobody
// here to answer a box about it.
bool ChooseDataFolder(const fs::path& programFile) {
    const std::string stored = platform::ReadSetting(SCR::kAppName, "App", "Dir", "");
    const std::optional<fs::path> installed = InstalledDataFolder(programFile);
    if (!stored.empty()) SCR::appDir = SCR::DataFolderOf(stored);
    const bool storedUsable =
        !stored.empty() && platform::FileExists(SCR::appDir + std::string(assets::kBackground));
    if (!storedUsable) {
        if (!installed) {
            Complain(stored.empty()
                         ? "no data folder: \"App\"/\"Dir\" is not set and no installed data "
                           "lies near " + programFile.string()
                         : "no background picture in the data folder " + SCR::appDir +
                               ", and no installed data lies near " + programFile.string());
            return false;
        }
        if (!stored.empty()) {
            Complain("no background picture in the data folder " + SCR::appDir +
                     " (\"App\"/\"Dir\"); showing the installed data in " + installed->string());
        }
        SCR::appDir = SCR::DataFolderOf(MachineFolderName(*installed));
        if (!platform::FileExists(SCR::appDir + std::string(assets::kBackground))) {
            Complain("no background picture in the data folder " + SCR::appDir);
            return false;
        }
    }
    forms::SetResourceFolders({SCR::appDir});
    return true;
}

// Where the scene is drawn: a window of ours (host 0), the daemon's or the given window, or the
// real root window.
struct DrawTarget {
    platform::ForeignWindowHandle host = 0;
    bool onRoot = false;
};

std::optional<DrawTarget> ChooseDrawTarget(const Options& options) {
    DrawTarget target;
    if (options.target != Target::Window && !platform::ProgramsPlaceWindows()) {
        Complain("--root and --window-id draw in X11 windows, and there is no X server (this "
                 "Wayland session has no XWayland: DISPLAY is not set)");
        return std::nullopt;
    }
    if (options.target == Target::WindowId) {
        target.host = options.windowId;
    } else if (options.target == Target::Root) {
        const char* value = std::getenv("XSCREENSAVER_WINDOW");
        const std::optional<platform::ForeignWindowHandle> window = ScreenSaverWindow(value);
        if (!window) {
            Complain(std::string("XSCREENSAVER_WINDOW=") + value + " names no window");
            return std::nullopt;
        }
        target.host = *window;
    }
    // -root without a daemon's window draws on the real root window, the desktop background,
    // as hacks started from a terminal do: no window of ours covers the screen, and SIGTERM
    // ends it.
    target.onRoot = options.target == Target::Root && target.host == 0;
    if (target.onRoot) {
        target.host = platform::RootWindowHandle();
        if (target.host == 0) {
            Complain("--root needs an X display");
            return std::nullopt;
        }
    }
    return target;
}

// The scene's size: the host window's, else a window of our own that fits on the screen.
std::optional<QSize> SceneSize(platform::ForeignWindowHandle host) {
    if (host != 0) {
        platform::WindowRect rect;
        if (!platform::GetForeignWindowRect(host, rect)) {
            Complain("window " + HexName(host) + " does not exist");
            return std::nullopt;
        }
        return QSize(rect.Width(), rect.Height());
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen != nullptr ? screen->geometry() : QRect(0, 0, 640, 480);
    return QSize(std::min(kOwnWindowWidth, screenRect.width()),
                 std::min(kOwnWindowHeight, screenRect.height()));
}

bool AttachToTarget(Form1& form, const DrawTarget& target) {
    if (target.onRoot) {
        Current().root = target.host;
        // Through the server's picture where the display keeps one; else whole frames.
        form.SetPresentWindow(target.host);
        form.SetFramePresenter([host = target.host](const QImage& frame) {
            platform::DrawOnForeignWindow(host, frame);
        });
    } else if (target.host != 0) {
        form.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        if (!platform::ReparentIntoForeignWindow(form, target.host)) {
            Complain("cannot draw in window " + HexName(target.host));
            return false;
        }
    } else {
        form.setWindowFlags(Qt::Window);
        form.SetPlacedByWindowManager(true);
    }
    return true;
}

// The scene follows the host window's size, and ends when the window goes away.
void FollowHostWindow(platform::ForeignWindowHandle host) {
    State& state = Current();
    state.hostCheck = std::make_unique<QTimer>();
    state.hostCheck->setInterval(kFollowIntervalMs);
    QObject::connect(state.hostCheck.get(), &QTimer::timeout, state.hostCheck.get(), [host] {
        State& s = Current();
        platform::WindowRect rect;
        if (!platform::GetForeignWindowRect(host, rect)) {
            // Not from inside the timer's own signal: the unload ends the process, and the
            // timer is not to be deleted under it.
            QTimer::singleShot(0, [] { EndScene(); });
            s.hostCheck->stop();
            return;
        }
        const QSize now(std::max(1, rect.Width()), std::max(1, rect.Height()));
        if (s.form && s.form->size() != now) s.form->resize(now);
    });
    state.hostCheck->start();
}

}  // namespace

bool Run(const Options& options, const fs::path& programFile) {
    State& state = Current();
    state.previousBoxes = platform::SetMessageBoxes(std::make_shared<StandardErrorMessages>());
    state.boxesInstalled = true;

    if (!ChooseDataFolder(programFile)) return false;
    const std::optional<DrawTarget> target = ChooseDrawTarget(options);
    if (!target) return false;
    const std::optional<QSize> size = SceneSize(target->host);
    if (!size) return false;

    state.screen = std::make_shared<HostedScreen>();
    state.screen->SetSize(*size);
    state.previousScreen = platform::SetScreenService(state.screen);
    state.screenInstalled = true;

    SCR::spriteCount = 13;
    SCR::hostMuted = options.mute;
    state.form = std::make_unique<Form1>();
    Form1& form = *state.form;
    form.SetHosted(true);
    if (!AttachToTarget(form, *target)) return false;
    state.follower = std::make_unique<SizeFollower>(state.screen);
    form.installEventFilter(state.follower.get());

    // Ending signals from the host end the scene the ordinary way.
    state.endSignals = std::make_unique<platform::EndSignalWatch>([](int) { EndScene(); });

    form.Load();
    if (target->onRoot) return true;
    form.show();
    if (target->host != 0) FollowHostWindow(target->host);
    return true;
}

Form1* SceneWindow() { return Current().form.get(); }

void Reset() {
    State& state = Current();
    state.hostCheck.reset();
    state.endSignals.reset();
    state.root = 0;
    if (state.form && state.follower) state.form->removeEventFilter(state.follower.get());
    state.form.reset();
    state.follower.reset();
    if (state.screenInstalled) {
        platform::SetScreenService(state.previousScreen);
        state.screenInstalled = false;
    }
    state.previousScreen.reset();
    state.screen.reset();
    if (state.boxesInstalled) {
        platform::SetMessageBoxes(state.previousBoxes);
        state.boxesInstalled = false;
    }
    state.previousBoxes.reset();
}

}  // namespace plenova::saver::Hack
