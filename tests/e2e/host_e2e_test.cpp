// The screen-saver host's journey on an X server of its own (Xvfb) with a private session bus:
// the real plenova-machine host starts the real saver after the idle time, a key ends it, the
// host starts it again after the next idle stretch, a program's inhibition keeps it away until
// that program leaves the bus, and SIGTERM ends the host together with its saver. And the
// Display Properties page (plenova-machine desk) with the real saver's preview in it.
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QImage>

#include "platform/registry.h"
#include "tests/e2e/host_session_bus.h"
#include "tests/e2e/saver_machine.h"
#include "tests/support/process.h"

// Xlib comes last.
#include "tests/e2e/e2e_support.h"

namespace fs = std::filesystem;

namespace {

using namespace plenova::e2e;

constexpr const char* kSaverCaption = "PlenovaSaver";

// A program that holds an inhibition on the bus, as a video player does, until it leaves.
class Inhibitor {
public:
    explicit Inhibitor(const std::string& address)
        : connection_(QDBusConnection::connectToBus(QString::fromStdString(address),
                                                    QStringLiteral("inhibitor"))) {}
    ~Inhibitor() { Leave(); }
    Inhibitor(const Inhibitor&) = delete;
    Inhibitor& operator=(const Inhibitor&) = delete;

    bool Inhibit() {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.ScreenSaver"),
            QStringLiteral("/org/freedesktop/ScreenSaver"),
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Inhibit"));
        call << QStringLiteral("video player") << QStringLiteral("playing a film");
        const QDBusMessage reply = connection_->call(call, QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
               reply.arguments().front().toUInt() != 0;
    }
    // The connection closes once its last reference is gone.
    void Leave() {
        if (!connection_) return;
        connection_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("inhibitor"));
    }

private:
    std::optional<QDBusConnection> connection_;
};

// Ends a program that the test started, also when an assertion failed.
struct ProcessGuard {
    pid_t pid;
    ~ProcessGuard() {
        if (pid <= 0 || ::kill(pid, SIGTERM) != 0) return;
        if (!WaitExit(pid, 10s)) Kill(pid);
    }
};

bool SaverShown() {
    XSync(display, False);
    return !ViewableWindows(kSaverCaption).empty();
}

TEST(HostE2E, IdleStartsTheSaverAKeyEndsItAndAnInhibitionKeepsItAway) {
    SaverMachine machine;
    PrivateBus bus;
    ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
    auto& own = plenova::platform::CurrentMachine();
    const std::string saver = own.WindowsFolder() + "\\PlenovaSaver.scr";
    fs::copy_file(PLENOVA_SAVER_PATH, *own.ToHost(saver));
    plenova::platform::Registry registry(own);
    using plenova::platform::Hive;
    registry.SetString(Hive::CurrentUser, "Control Panel\\Desktop", "ScreenSaveActive", "1");
    registry.SetString(Hive::CurrentUser, "Control Panel\\Desktop", "ScreenSaveTimeOut", "3");
    registry.SetString(Hive::CurrentUser, "Control Panel\\Desktop", "SCRNSAVE.EXE", saver);

    std::vector<std::string> env = machine.Environment();
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus.Address());
    env.push_back("WAYLAND_DISPLAY=");
    Xdotool({"mousemove", "512", "384"});
    const auto hostStart = Clock::now();
    pid_t host = Spawn({PLENOVA_MACHINE_TOOL, "host"}, env, false);
    ASSERT_GT(host, 0);
    ProcessGuard guard{host};

    // Idle for the timeout: the saver comes, not before, and the screen animates.
    ASSERT_TRUE(WaitUntil(SaverShown, 20s, 50ms)) << "the host started no saver";
    EXPECT_GE(MillisecondsSince(hostStart), 2900);
    const WindowShot first = ShootScreen();
    std::this_thread::sleep_for(400ms);
    EXPECT_NE(first.pixels, ShootScreen().pixels) << "the saver's screen stands still";

    // A key ends it; the host counts a new idle stretch and starts it again.
    Xdotool({"key", "space"});
    ASSERT_TRUE(WaitUntil([] { return !SaverShown(); }, 10s, 50ms)) << "a key did not end it";
    const auto ended = Clock::now();
    ASSERT_TRUE(WaitUntil(SaverShown, 20s, 50ms)) << "the host did not start the saver again";
    EXPECT_GE(MillisecondsSince(ended), 2500);

    // While a program holds an inhibition, no saver starts; once it leaves the bus, one does.
    Inhibitor inhibitor(bus.Address());
    ASSERT_TRUE(inhibitor.Inhibit()) << "the host serves no org.freedesktop.ScreenSaver";
    Xdotool({"key", "space"});
    ASSERT_TRUE(WaitUntil([] { return !SaverShown(); }, 10s, 50ms));
    EXPECT_FALSE(WaitUntil(SaverShown, 7s, 100ms)) << "a saver started while inhibited";
    inhibitor.Leave();
    ASSERT_TRUE(WaitUntil(SaverShown, 20s, 50ms)) << "the inhibition outlived its holder";

    // SIGTERM ends the host, and the saver with it.
    ::kill(host, SIGTERM);
    const auto status = WaitExit(host, 10s);
    ASSERT_TRUE(status.has_value()) << "the host did not end on SIGTERM";
    guard.pid = -1;
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(WaitUntil([] { return !SaverShown(); }, 5s, 50ms)) << "the saver outlived the host";
}

// The descendants of `window` of the given size, deepest last.
void WindowsOfSize(Window window, int width, int height, std::vector<Window>& found) {
    for (Window child : Children(window)) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, child, &attributes) != 0 &&
            attributes.map_state == IsViewable && attributes.width == width &&
            attributes.height == height)
            found.push_back(child);
        WindowsOfSize(child, width, height, found);
    }
}

// Mean difference per colour channel of two pictures of one size.
double MeanDifference(const WindowShot& shot, const QImage& picture) {
    double sum = 0;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const std::uint32_t a = shot.At(x, y);
            const QRgb b = picture.pixel(x, y);
            sum += std::abs(static_cast<int>((a >> 16) & 0xFF) - qRed(b)) +
                   std::abs(static_cast<int>((a >> 8) & 0xFF) - qGreen(b)) +
                   std::abs(static_cast<int>(a & 0xFF) - qBlue(b));
        }
    }
    return sum / (3.0 * shot.width * shot.height);
}

TEST(DeskE2E, TheMonitorShowsTheSaversPreviewAndSettingsOpensItsDialog) {
    SaverMachine machine;
    auto& own = plenova::platform::CurrentMachine();
    const std::string saver = own.WindowsFolder() + "\\PlenovaSaver.scr";
    fs::copy_file(PLENOVA_SAVER_PATH, *own.ToHost(saver));
    plenova::platform::Registry registry(own);
    using plenova::platform::Hive;
    registry.SetString(Hive::CurrentUser, "Control Panel\\Desktop", "ScreenSaveActive", "1");
    registry.SetString(Hive::CurrentUser, "Control Panel\\Desktop", "SCRNSAVE.EXE", saver);

    std::vector<std::string> env = machine.Environment();
    env.push_back("LANG=C.UTF-8");
    const pid_t desk = Spawn({PLENOVA_MACHINE_TOOL, "desk"}, env, false);
    ASSERT_GT(desk, 0);
    ProcessGuard guard{desk};
    const auto page = WaitForWindow("Display Properties", 20s);
    ASSERT_TRUE(page.has_value()) << "the page did not open";

    // The saver's preview form fills the monitor's screen with its still picture, stretched.
    QImage still(QString::fromStdString((machine.Root() / "data" / "prev.bmp").string()));
    ASSERT_FALSE(still.isNull());
    still = still.scaled(152, 112, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB32);
    double difference = 255;
    const bool shown = WaitUntil(
        [&] {
            std::vector<Window> screens;
            WindowsOfSize(*page, 152, 112, screens);
            if (screens.size() < 2) return false;  // our screen, and the saver's form in it
            difference = MeanDifference(ShootWindow(screens.back()), still);
            return difference < 12;
        },
        20s, 100ms);
    EXPECT_TRUE(shown) << "the screen does not show the preview (mean difference " << difference
                       << ")";

    // Settings... (Alt+T) opens the saver's settings dialog.
    Xdotool({"windowfocus", "--sync", std::to_string(*page)});
    Xdotool({"key", "alt+t"});
    EXPECT_TRUE(WaitForWindow("Plenova Saver Setting", 20s).has_value())
        << "Settings... opened no settings dialog";
    for (Window dialog : ViewableWindows("Plenova Saver Setting")) {
        XKillClient(display, dialog);
        XSync(display, False);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Qt D-Bus, for the inhibiting program, wants an application object.
    QCoreApplication application(argc, argv);
    return RunTestsOnOwnXServer(argc, argv, "1024x768x24");
}
