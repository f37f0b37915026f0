// End-to-end tests of the real setup program as a user runs it: the distribution medium mounted
// as a drive of an emulated machine, `plenova-machine run` starting PlenovaSetup.exe, the
// setup's own windows answered with real clicks and key presses (xdotool) on an X server of
// the test's own with a window manager (openbox), then the installed saver, then
// `plenova-machine uninstall`. Screenshots of every setup window go to /tmp/setup-e2e-shots/.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "tests/support/temp_folder.h"
#include "tests/support/x_server.h"
// Xlib comes last.
#include "tests/e2e/e2e_support.h"

namespace fs = std::filesystem;

namespace {

using namespace plenova::e2e;
using plenova::platform::Hive;
using plenova::platform::Machine;
using plenova::platform::Registry;
using plenova::testing::TempFolder;
using plenova::testing::WriteAll;

const fs::path kShots = "/tmp/setup-e2e-shots";
const std::string kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kBackground = "セットアッププログラム";
const std::string kCopyWindow = "コピー中";
const std::string kBoxCaption = "PlenovaSetup";
// Twips to pixels at 96 dots per inch.
constexpr int kTwips = 15;

// Saves the whole screen as a PNG under kShots for a person to look at.
void SaveScreen(const std::string& name) {
    std::error_code ec;
    fs::create_directories(kShots, ec);
    const pid_t pid = Spawn({"import", "-window", "root", (kShots / (name + ".png")).string()}, {});
    ASSERT_GT(pid, 0) << "import (ImageMagick) cannot be started";
    const auto status = WaitExit(pid, 20s);
    ASSERT_TRUE(status.has_value()) << "import hangs";
    EXPECT_EQ(*status, 0) << "import failed for " << name;
}

std::string WindowId(Window window) { return std::to_string(window); }

// Clicks at a point of the window's client area, given in twips as the forms are laid out.
void ClickAt(Window window, int leftTwips, int topTwips, int widthTwips, int heightTwips) {
    const int x = (leftTwips + widthTwips / 2) / kTwips;
    const int y = (topTwips + heightTwips / 2) / kTwips;
    Xdotool({"mousemove", "--window", WindowId(window), std::to_string(x), std::to_string(y),
             "click", "1"});
}

// Gives the window the focus through the window manager and presses the key.
void PressOn(Window window, const std::string& key) {
    Xdotool({"windowactivate", "--sync", WindowId(window)});
    Xdotool({"key", "--clearmodifiers", key});
}

// True while the process has not ended (it is not reaped, so its status stays to be read).
bool Running(pid_t pid) {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

// Waits for a window with the name while the process runs.
std::optional<Window> WaitForWindowOf(pid_t pid, const std::string& name,
                                      std::chrono::milliseconds timeout) {
    return WaitForWindow(name, timeout, [pid] { return Running(pid); });
}

// Ends every process that runs in the machine at `root` (its environment names the machine):
// the setup's second stage and the saver are no children of the test, and a failed test must
// not leave their windows to the next one.
void KillMachineProcesses(const fs::path& root) {
    const std::string entry = "PLENOVA_MACHINE=" + root.string();
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string name = process.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (pid == ::getpid()) continue;
        std::ifstream in(process.path() / "environ", std::ios::binary);
        for (std::string variable; std::getline(in, variable, '\0');) {
            if (variable == entry) {
                ::kill(pid, SIGKILL);
                break;
            }
        }
    }
}

bool Gone(const std::string& name) {
    XSync(display, False);
    return ViewableWindows(name).empty();
}

// True when the window's list property `property` (atoms) holds `atom`.
bool HasAtom(Window window, const char* property, const char* atom) {
    const Atom name = XInternAtom(display, property, False);
    const Atom wanted = XInternAtom(display, atom, False);
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display, window, name, 0, 32, False, XA_ATOM, &actual, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) found = found || atoms[i] == wanted;
        XFree(data);
    }
    return found;
}

// A message box: a modal dialog, unlike the setup's modeless windows (the wait window, without
// a caption of its own, may show the program's name in its title bar).
bool IsMessageBox(Window window) {
    return HasAtom(window, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG") &&
           HasAtom(window, "_NET_WM_STATE", "_NET_WM_STATE_MODAL");
}

// The window's pixels as the screen shows them.
std::vector<std::uint32_t> WindowPixels(Window window) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0) return {};
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) return {};
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
            pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu);
    XDestroyImage(image);
    return pixels;
}

// Waits until the window shows dark (text) pixels and two looks 50 ms apart agree: drawn.
// False when it is not, or when the window went away meanwhile.
bool WaitPainted(Window window) {
    std::vector<std::uint32_t> previous;
    return WaitUntil(
               [&] {
                   if (!Viewable(window)) return true;
                   std::vector<std::uint32_t> pixels = WindowPixels(window);
                   const bool text = std::any_of(pixels.begin(), pixels.end(), [](std::uint32_t p) {
                       return (p & 0xC0C0C0u) == 0;
                   });
                   const bool settled = text && pixels == previous;
                   previous = std::move(pixels);
                   return settled;
               },
               10s, 50ms) &&
           Viewable(window);
}

// The message boxes on the screen.
std::vector<Window> Boxes() {
    XSync(display, False);
    std::vector<Window> boxes = ViewableWindows(kBoxCaption);
    std::erase_if(boxes, [](Window w) { return !IsMessageBox(w); });
    return boxes;
}

// Waits for a message box while the process runs.
std::optional<Window> WaitForBox(pid_t pid, std::chrono::milliseconds timeout) {
    std::optional<Window> box;
    WaitUntil(
        [&] {
            const std::vector<Window> boxes = Boxes();
            if (!boxes.empty()) box = boxes.front();
            return box.has_value() || !Running(pid);
        },
        timeout);
    return box;
}

std::vector<std::string> LogValues(const std::string& title, const std::string& prefix) {
    std::vector<std::string> values;
    for (int n = 1;; ++n) {
        const std::string v =
            plenova::platform::ReadSetting("PlenovaSetup", title, prefix + std::to_string(n), "");
        if (v.empty()) return values;
        values.push_back(v);
    }
}

class SetupE2E : public ::testing::Test {
protected:
    SetupE2E() {
        fs::create_directories(temp_.Path() / "run");
        fs::permissions(temp_.Path() / "run", fs::perms::owner_all, fs::perm_options::replace);
        machine_.emplace(root_);
        Xdotool({"mousemove", "0", "0"});
    }
    ~SetupE2E() override {
        KillMachineProcesses(root_);
        for (pid_t pid : started_) Kill(pid);
        machine_.reset();
    }

    Machine& M() { return plenova::platform::CurrentMachine(); }

    std::vector<std::string> Environment() const {
        return {"PLENOVA_MACHINE=" + root_.string(),
                "XDG_RUNTIME_DIR=" + (temp_.Path() / "run").string(),
                // The desktop menu made from the Start menu stays out of the user's home.
                "XDG_DATA_HOME=" + (temp_.Path() / "data").string(),
                "XDG_CONFIG_HOME=" + (temp_.Path() / "config").string(), "QT_QPA_PLATFORM=xcb",
                "PLENOVA_AUDIO=test", "PLENOVA_AUDIO_TEST_MS=60000",
                "PLENOVA_MCI_LOG=" + (temp_.Path() / "mci.log").string()};
    }

    // Starts plenova-machine with the arguments in the test's machine.
    pid_t Tool(const std::vector<std::string>& args) {
        std::vector<std::string> argv{PLENOVA_MACHINE_TOOL};
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = Spawn(argv, Environment(), false);
        EXPECT_GT(pid, 0);
        started_.push_back(pid);
        return pid;
    }
    std::optional<int> Finish(pid_t pid, std::chrono::milliseconds timeout = 30s) {
        const auto status = WaitExit(pid, timeout);
        if (status) std::erase(started_, pid);
        return status;
    }

    // A medium folder with the setup program, its library and the given script.
    fs::path MakeMedium(const fs::path& folder, const std::string& script) {
        fs::create_directories(folder);
        for (const char* name : {"PlenovaSetup.exe", "TAVORIN.DLL"})
            fs::copy_file(fs::path(PLENOVA_DIST_DIR) / name, folder / name);
        WriteAll(folder / "SETUP.ini", script);
        return folder;
    }

    // Waits for the destination dialog, checks the background behind it and presses cmdStart;
    // with `browseShot`, first opens the folder browser, shoots it and cancels it.
    void AcceptDefaultDestination(pid_t pid, const std::string& title, const std::string& shot,
                                  const std::string& browseShot = "") {
        const auto dialog = WaitForWindowOf(pid, title + " Setup", 30s);
        ASSERT_TRUE(dialog.has_value()) << "no destination dialog";
        ASSERT_TRUE(WaitForWindow(kBackground, 5s).has_value()) << "no background window";
        ExpectBackground();
        SaveScreen(shot);
        if (!browseShot.empty()) {
            ClickAt(*dialog, 4500, 720, 492, 372);  // cmdSansho
            const auto browser = WaitForWindowOf(pid, "フォルダの参照", 10s);
            ASSERT_TRUE(browser.has_value()) << "no folder browser";
            EXPECT_TRUE(WaitPainted(*browser));
            SaveScreen(browseShot);
            PressOn(*browser, "Escape");  // cmdCancel
            ASSERT_TRUE(WaitUntil([&] { return Gone("フォルダの参照"); }, 10s));
        }
        ClickAt(*dialog, 1200, 2160, 1452, 372);  // cmdStart
        ASSERT_TRUE(WaitUntil([&] { return Gone(title + " Setup"); }, 10s));
    }

    // Green at the top, black at the bottom in 256 bands, the title in white at the top left.
    void ExpectBackground() {
        WindowShot shot;
        const bool drawn = WaitUntil(
            [&] {
                shot = ShootScreen();
                return shot.width > 0 && shot.At(2, 2) == 0x00FF00u;
            },
            10s, 50ms);
        ASSERT_TRUE(drawn) << std::hex << "top left is " << shot.At(2, 2);
        const int h = shot.height;
        // Band i covers the rows from h * i / 256 on; its green is 255 - i.
        for (int y : {0, h / 4, h / 2, h - 1}) {
            const int band = y * 256 / h;
            const std::uint32_t pixel = shot.At(2, y);
            const int green = static_cast<int>((pixel >> 8) & 0xFF);
            EXPECT_EQ(pixel & 0xFF00FFu, 0u) << "row " << y;
            EXPECT_NEAR(green, 255 - band, 1) << "row " << y;
        }
        EXPECT_EQ(shot.At(shot.width - 3, h - 1), 0x000000u);
        // The title: white glyph pixels near 200, 150 twips.
        int white = 0;
        for (int y = 150 / kTwips; y < 150 / kTwips + 40; ++y)
            for (int x = 200 / kTwips; x < 200 / kTwips + 300; ++x)
                white += shot.At(x, y) == 0xFFFFFFu;
        EXPECT_GT(white, 50) << "no title on the background";
    }

    // Waits for a message box, saves the screen and answers it with the key.
    void AnswerBox(pid_t pid, const std::string& shot, const std::string& key) {
        // A window that goes as soon as it came was none of the boxes to answer.
        std::optional<Window> box;
        for (int tries = 0; tries < 10 && !box; ++tries) {
            box = WaitForBox(pid, 60s);
            if (box && !WaitPainted(*box)) box.reset();
        }
        ASSERT_TRUE(box.has_value()) << "no message box for " << shot;
        SaveScreen(shot);
        PressOn(*box, key);
        ASSERT_TRUE(WaitUntil([&] { return !Viewable(*box); }, 10s)) << shot << " stays";
    }

    // Uninstalls the product through the machine's uninstall entry, answering its question and
    // its closing box (screens saved under the names); it must end with 0.
    void UninstallConfirmed(const std::string& product, const std::string& questionShot,
                            const std::string& finishedShot) {
        const pid_t uninstall = Tool({"uninstall", product});
        ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstall, questionShot, "Return"));
        ASSERT_NO_FATAL_FAILURE(AnswerBox(uninstall, finishedShot, "Return"));
        const auto status = Finish(uninstall);
        ASSERT_TRUE(status.has_value()) << "the uninstallation does not end";
        EXPECT_EQ(*status, 0);
    }

    TempFolder temp_{"plenova-setup-e2e"};
    const fs::path root_ = temp_.Path() / "machine";
    std::optional<plenova::platform::ScopedMachine> machine_;
    std::vector<pid_t> started_;
};

TEST_F(SetupE2E, InstallFromTheRemovableMediumRunTheSaverAndUninstall) {
    M().AddDrive('A', PLENOVA_DIST_DIR, plenova::platform::kDriveRemovable);
    const pid_t setup = Tool({"run", "A:\\PlenovaSetup.exe"});
    ASSERT_NO_FATAL_FAILURE(
        AcceptDefaultDestination(setup, "Plenova Saver", "01-install-destination"));

    // The copy window, while it is there (the bundled files copy quickly), then the question.
    bool copySeen = false;
    WaitUntil(
        [&] {
            XSync(display, False);
            if (!ViewableWindows(kCopyWindow).empty()) copySeen = true;
            return !Boxes().empty() || !Running(setup);
        },
        60s, 2ms);
    std::printf("    copy window %s\n", copySeen ? "seen" : "too quick to see");
    ASSERT_NO_FATAL_FAILURE(AnswerBox(setup, "02-install-start-menu-question", "Return"));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(setup, "03-install-finished", "Return"));
    const auto status = Finish(setup);
    ASSERT_TRUE(status.has_value()) << "the setup does not end";
    EXPECT_EQ(*status, 0);

    // Installed: the files, the saver's setting, the entry and the shortcuts, all logged.
    const std::string dst = "C:\\Program Files\\Plenova Saver";
    EXPECT_EQ(plenova::platform::ReadSetting("PlenovaSaver", "App", "Dir", ""), dst);
    EXPECT_TRUE(M().FileExists("C:\\WINDOWS\\PlenovaSaver.scr"));
    EXPECT_TRUE(M().FileExists(dst + "\\背景.bmp"));
    Registry reg(M());
    EXPECT_EQ(
        reg.QueryString(Hive::LocalMachine, kUninstallKey + "Plenova Saver", "UninstallString"),
        "C:\\WINDOWS\\PlenovaSetup.exe /UNINST Plenova Saver");
    const std::vector<std::string> copies = LogValues("Plenova Saver", "Copy");
    const std::vector<std::string> folders = LogValues("Plenova Saver", "MkDir");
    const std::vector<std::string> icons = LogValues("Plenova Saver", "Icon");
    EXPECT_GT(copies.size(), 20u);
    EXPECT_FALSE(folders.empty());
    EXPECT_EQ(icons.size(), 2u);
    for (const auto& list : {copies, icons})
        for (const std::string& path : list) EXPECT_TRUE(M().FileExists(path)) << path;

    // The installed saver shows its scene from the installed data; a key ends it.
    const pid_t saver = Tool({"run", "C:\\WINDOWS\\PlenovaSaver.scr", "/s"});
    ASSERT_TRUE(WaitForWindowOf(saver, "PlenovaSaver", 30s).has_value()) << "no saver window";
    WindowShot scene;
    ASSERT_TRUE(WaitUntil(
        [&] {
            scene = ShootScreen();
            std::set<std::uint32_t> colours(scene.pixels.begin(), scene.pixels.end());
            return colours.size() > 16;
        },
        15s, 50ms))
        << "the saver shows no scene";
    SaveScreen("04-installed-saver");
    std::ifstream mci(temp_.Path() / "mci.log");
    const std::string mciLog((std::istreambuf_iterator<char>(mci)),
                             std::istreambuf_iterator<char>());
    EXPECT_NE(mciLog.find("open C:\\Program Files\\Plenova Saver\\SCR.wav"), std::string::npos)
        << mciLog;
    Xdotool({"key", "space"});
    const auto saverStatus = Finish(saver, 15s);
    ASSERT_TRUE(saverStatus.has_value()) << "the saver does not end";
    EXPECT_EQ(*saverStatus, 0);

    // The uninstallation through the machine's uninstall entry, confirmed.
    ASSERT_NO_FATAL_FAILURE(
        UninstallConfirmed("Plenova Saver", "05-uninstall-question", "06-uninstall-finished"));
    for (const auto& list : {copies, icons, folders})
        for (const std::string& path : list) EXPECT_FALSE(M().Exists(path)) << path;
    EXPECT_FALSE(M().Exists("C:\\WINDOWS\\PlenovaSaver.scr"));
    EXPECT_FALSE(reg.KeyExists(Hive::LocalMachine, kUninstallKey + "Plenova Saver"));
    EXPECT_TRUE(LogValues("Plenova Saver", "Copy").empty());
    std::ifstream wininit(*M().ToHost("C:\\WINDOWS\\WININIT.INI"));
    const std::string boot((std::istreambuf_iterator<char>(wininit)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(boot.find("NUL=C:\\WINDOWS\\PlenovaSetup.exe"), std::string::npos) << boot;
}

TEST_F(SetupE2E, CancelDuringTheCopyLeavesNoPartialFileAndKeepsTheEntry) {
    const fs::path medium = MakeMedium(temp_.Path() / "medium",
                                       "[SETUP]\r\nTitle=Big Product\r\n"
                                       "DstDir=Program Files\\Big Product\r\n"
                                       "Copy1=small.txt\r\nCopy2=big.bin\r\n"
                                       "[BOOT]\r\nCopy1=boot.bin,,$WIN\r\n");
    WriteAll(medium / "small.txt", "small\n");
    // Sparse, so the medium takes no room; a copy reads and writes every byte.
    for (const auto& [name, size] :
         {std::pair{"big.bin", off_t{1} << 30}, std::pair{"boot.bin", off_t{256} << 20}}) {
        const int fd = ::open((medium / name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
    }
    M().AddDrive('A', medium, plenova::platform::kDriveRemovable);
    const pid_t setup = Tool({"run", "A:\\PlenovaSetup.exe"});
    // The first stage's wait window, while it copies the [BOOT] file (it may be quicker than
    // a look; the window has no caption of its own, so it is the one of the program's name
    // that is no message box).
    bool waitSeen = false;
    WaitUntil(
        [&] {
            XSync(display, False);
            for (Window w : ViewableWindows(kBoxCaption)) {
                if (!IsMessageBox(w) && !waitSeen) {
                    waitSeen = true;
                    SaveScreen("07-cancel-first-stage-wait");
                }
            }
            return !ViewableWindows("Big Product Setup").empty() || !Running(setup);
        },
        120s, 2ms);
    std::printf("    first stage's wait window %s\n", waitSeen ? "seen" : "too quick to see");
    ASSERT_NO_FATAL_FAILURE(
        AcceptDefaultDestination(setup, "Big Product", "08-cancel-destination"));
    EXPECT_TRUE(M().FileExists("C:\\WINDOWS\\boot.bin"));

    const auto copy = WaitForWindowOf(setup, kCopyWindow, 30s);
    ASSERT_TRUE(copy.has_value()) << "no copy window";
    SaveScreen("09-cancel-copying");
    ClickAt(*copy, 1800, 1920, 1392, 372);  // cmdStop
    const auto question = WaitForBox(setup, 30s);
    ASSERT_TRUE(question.has_value()) << "cmdStop asks nothing";
    ASSERT_TRUE(ViewableWindows(kCopyWindow).size() == 1) << "the copy ended before the click";
    ASSERT_NO_FATAL_FAILURE(AnswerBox(setup, "10-cancel-question", "Return"));
    const auto status = Finish(setup);
    ASSERT_TRUE(status.has_value()) << "the setup does not end after the cancel";

    const std::string dst = "C:\\Program Files\\Big Product";
    EXPECT_TRUE(M().FileExists(dst + "\\small.txt"));
    EXPECT_FALSE(M().Exists(dst + "\\big.bin")) << "a partial copy is left";
    EXPECT_EQ(LogValues("Big Product", "Copy"), std::vector<std::string>{dst + "\\small.txt"});
    Registry reg(M());
    EXPECT_TRUE(reg.KeyExists(Hive::LocalMachine, kUninstallKey + "Big Product"));
    const pid_t list = Tool({"uninstall", "--list"});
    const auto listStatus = Finish(list);
    ASSERT_TRUE(listStatus.has_value());
    EXPECT_EQ(*listStatus, 0);

    // What the cancelled installation left is removed by its uninstallation.
    ASSERT_NO_FATAL_FAILURE(UninstallConfirmed("Big Product", "11-cancel-uninstall-question",
                                               "12-cancel-uninstall-finished"));
    EXPECT_FALSE(M().Exists(dst));
    EXPECT_FALSE(reg.KeyExists(Hive::LocalMachine, kUninstallKey + "Big Product"));
}

TEST_F(SetupE2E, InstallFromAFolderOnDriveCLeavesNoneOfTheSetupFilesThere) {
    const fs::path medium = root_ / "drive_c" / "MEDIUM";
    fs::create_directories(medium);
    for (const auto& entry : fs::directory_iterator(PLENOVA_DIST_DIR))
        if (entry.is_regular_file()) fs::copy_file(entry.path(), medium / entry.path().filename());
    const pid_t setup = Tool({"run", "C:\\MEDIUM\\PlenovaSetup.exe"});
    ASSERT_NO_FATAL_FAILURE(AcceptDefaultDestination(setup, "Plenova Saver",
                                                     "13-folder-destination", "14-folder-browse"));
    ASSERT_NO_FATAL_FAILURE(AnswerBox(setup, "15-folder-start-menu-question", "Escape"));  // No
    ASSERT_NO_FATAL_FAILURE(AnswerBox(setup, "16-folder-finished", "Return"));
    const auto status = Finish(setup);
    ASSERT_TRUE(status.has_value()) << "the setup does not end";
    EXPECT_EQ(*status, 0);

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(medium))
        left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.size() << " files left, the first " << left.front();
    EXPECT_TRUE(M().FileExists("C:\\Program Files\\Plenova Saver\\背景.bmp"));
    EXPECT_TRUE(M().FileExists("C:\\WINDOWS\\PlenovaSaver.scr"));
    EXPECT_TRUE(LogValues("Plenova Saver", "Icon").empty());
}

}  // namespace

int main(int argc, char** argv) {
    return RunTestsOnOwnXServer(argc, argv, "1024x768x24", /*windowManager=*/true,
                                [](plenova::testing::XServer&) {
                                    // Windows come and go while the tests look at them: a window
                                    // gone between the listing and the look is no error.
                                    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
                                    return true;
                                });
}
