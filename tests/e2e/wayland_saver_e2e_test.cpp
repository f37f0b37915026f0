// End-to-end: the saver in a Wayland session, on a headless sway (no X server, no XWayland), as
// an ordinary user (sway refuses to run as root: run as root, the test makes a throwaway user).
// A top-layer panel (swaynag) stands on the output; the saver started with /s covers the whole
// output, panel included, shows its frames and animates, and a key ends it; with the password on,
// its prompt takes the typed keys, the box that refuses a wrong one takes the keyboard, and the
// right password ends the saver. And the screen-saver host in that session: sway's idle time
// starts the chosen saver, a key ends it and the next idle stretch brings it back. Keys come from
// wtype (a virtual keyboard), screenshots from grim.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/host_machine.h"

namespace plenova::e2e {
namespace {

constexpr int kOutputWidth = 800;
constexpr int kOutputHeight = 600;

// `argv` as the user with exactly `env`. setpriv execs the program itself (runuser would wait
// for it in a process of its own), so the id that Spawn gives is the program's.
std::vector<std::string> AsUser(const DaemonUser& user, const std::vector<std::string>& argv,
                                const std::vector<std::string>& env) {
    std::vector<std::string> command;
    if (::geteuid() == 0) {
        command = {"setpriv", "--reuid=" + std::to_string(user.Uid()),
                   "--regid=" + std::to_string(user.Gid()), "--clear-groups", "--"};
    }
    command.insert(command.end(), {"env", "-i"});
    command.insert(command.end(), env.begin(), env.end());
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

// The first entry of `folder` whose name starts with `prefix` and does not end with `unless`.
std::optional<fs::path> EntryStartingWith(const fs::path& folder, const std::string& prefix,
                                          const std::string& unless) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        if (!unless.empty() && name.size() >= unless.size() &&
            name.compare(name.size() - unless.size(), unless.size(), unless) == 0) {
            continue;
        }
        return entry.path();
    }
    return std::nullopt;
}

// A binary PPM (P6, 8 bits per channel) as 0xRRGGBB pixels; empty when it is not one.
WindowShot ReadPpm(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get();
    if (!in || magic != "P6" || maximum != 255 || width <= 0 || height <= 0 ||
        width > 8192 || height > 8192) {
        return {};
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(width) * height * 3);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) return {};
    WindowShot shot;
    shot.width = width;
    shot.height = height;
    shot.pixels.resize(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < shot.pixels.size(); ++i) {
        shot.pixels[i] = (std::uint32_t{bytes[3 * i]} << 16) | (std::uint32_t{bytes[3 * i + 1]} << 8) |
                         bytes[3 * i + 2];
    }
    return shot;
}

class WaylandSaverE2E : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path config = install.folder.Path() / "sway.config";
        {
            std::ofstream out(config);
            out << "output HEADLESS-1 resolution " << kOutputWidth << "x" << kOutputHeight << "\n";
        }
        ::chmod(config.c_str(), 0644);
        install.GiveTo(user.Uid(), user.Gid());
        sway = Spawn(AsUser(user, {"sway", "-c", config.string()},
                            {"HOME=" + install.home.string(),
                             "XDG_RUNTIME_DIR=" + install.run.string(), "WLR_BACKENDS=headless",
                             "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
                             "PATH=/usr/bin:/bin"}),
                     {});
        ASSERT_GT(sway, 0) << "sway cannot be started";
        std::optional<fs::path> socket, ipc;
        ASSERT_TRUE(WaitUntil(
            [&] {
                socket = EntryStartingWith(install.run, "wayland-", ".lock");
                ipc = EntryStartingWith(install.run, "sway-ipc.", "");
                return socket && ipc;
            },
            10s))
            << "sway does not come up as " << user.Uid();
        session = {"HOME=" + install.home.string(), "XDG_RUNTIME_DIR=" + install.run.string(),
                   "WAYLAND_DISPLAY=" + socket->filename().string(), "SWAYSOCK=" + ipc->string(),
                   "XDG_SESSION_TYPE=wayland", "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
        // The panel: a bar in the top layer that the workspace makes room for.
        panel = Spawn(AsUser(user, {"swaynag", "-l", "top", "-m", "A panel on top"}, session), {});
        ASSERT_GT(panel, 0);
        ASSERT_TRUE(WaitUntil([&] { return WorkspaceTop() > 0; }, 10s))
            << "the panel does not take its place on the output";
    }

    void TearDown() override {
        if (saver > 0) Kill(saver);
        if (panel > 0) Kill(panel);
        if (sway > 0) Kill(sway);
    }

    // The top edge of the workspace's area: below the panel once it stands.
    int WorkspaceTop() {
        testing::Started listed = testing::Start(AsUser(user, {"swaymsg", "-t", "get_workspaces"}, session));
        const std::string text = testing::ReadToEnd(listed.out);
        testing::WaitForExit(listed.pid);
        const std::size_t rect = text.find("\"rect\"");
        if (rect == std::string::npos) return -1;
        const std::size_t y = text.find("\"y\":", rect);
        if (y == std::string::npos) return -1;
        return std::atoi(text.c_str() + y + 4);
    }

    // The saver started with /s in the session.
    void StartSaver() {
        std::vector<std::string> env = session;
        env.insert(env.end(), {"PLENOVA_MACHINE=" + install.machine.string(), "PLENOVA_AUDIO=test",
                               "PLENOVA_FRAME_DUMP=" + install.frames.string()});
        saver = Spawn(AsUser(user, {install.program.string(), "/s"}, env), {});
        ASSERT_GT(saver, 0);
        ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(install.frames) >= 5; }, 20s,
                              20ms))
            << "the saver shows no frames";
    }

    // Keys typed with a virtual keyboard that exists a moment before it types and after it has
    // typed, so that the saver has bound it when the first key comes and has had the last one
    // before it goes.
    void Type(const std::vector<std::string>& keys) {
        std::vector<std::string> argv{"wtype", "-s", "300"};
        argv.insert(argv.end(), keys.begin(), keys.end());
        argv.insert(argv.end(), {"-s", "200"});
        ASSERT_EQ(RunToEnd(AsUser(user, argv, session)), 0) << "wtype failed";
    }

    // The whole output as it is shown now.
    WindowShot ShootOutput() {
        const fs::path file = install.home / "shot.ppm";
        std::error_code ec;
        fs::remove(file, ec);
        if (RunToEnd(AsUser(user, {"grim", "-t", "ppm", file.string()}, session)) != 0) return {};
        return ReadPpm(file);
    }

    // The number of the saver's frame that the whole output shows now, if it shows one. A shot
    // takes a while, and on a busy machine the compositor shows a frame some ticks after the
    // saver dumped it: the shot is compared with every frame dumped from a little before it was
    // asked for until it came.
    std::optional<std::uint64_t> FrameOnScreen() {
        const long long before = NewestComposedFrame(install.frames);
        const WindowShot shot = ShootOutput();
        const long long after = NewestComposedFrame(install.frames);
        if (shot.width != kOutputWidth || shot.height != kOutputHeight) return std::nullopt;
        for (long long n = after + 1; n >= before - 8 && n >= 0; --n) {
            const std::optional<ComposedFrame> frame =
                ReadComposedFrame(install.frames / ("frame-" + std::to_string(n) + ".plfr"));
            if (frame && ShotIsFrame(shot, *frame)) return frame->frame;
        }
        return std::nullopt;
    }

    void SetPassword(const std::string& password) {
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"Usepassword", "1"}, {"Pass", password}}) {
            ASSERT_TRUE(MachineTool(install, {"reg", "add", "HKCU\\Software\\PlenovaSaver\\User",
                                              "/v", name, "/d", value, "/f"}));
        }
        ASSERT_TRUE(GiveMachineTo(install, user.Uid(), user.Gid()));
    }

    const DaemonUser user;
    const HackInstall install;
    std::vector<std::string> session;
    pid_t sway = -1;
    pid_t panel = -1;
    pid_t saver = -1;
};

TEST_F(WaylandSaverE2E, CoversTheWholeOutputPanelIncludedAnimatesAndAKeyEndsIt) {
    StartSaver();

    // Every pixel of the output, the panel's rows too, is a frame that the saver composed.
    const std::optional<std::uint64_t> first = FrameOnScreen();
    ASSERT_TRUE(first.has_value()) << "the output shows something else than the saver's frames";
    std::this_thread::sleep_for(200ms);
    const std::optional<std::uint64_t> later = FrameOnScreen();
    ASSERT_TRUE(later.has_value()) << "the output shows something else than the saver's frames";
    EXPECT_GT(*later, *first) << "the scene does not move";

    Type({"q"});
    const std::optional<int> status = WaitExit(saver, 5s);
    ASSERT_TRUE(status.has_value()) << "a key does not end the saver";
    EXPECT_EQ(*status, 0);
    saver = -1;
}

TEST_F(WaylandSaverE2E, ThePromptTakesTheTypedPasswordAndTheRightOneEndsTheSaver) {
    SetPassword("frog");
    StartSaver();
    Type({"q"});  // asks for the password
    Type({"toad", "-k", "Return"});
    Type({"-k", "Return"});  // the box that refused it goes, by the keyboard too
    ASSERT_FALSE(WaitExit(saver, 300ms).has_value()) << "the saver ended past its password";
    Type({"fr"});
    Type({"og", "-k", "Return"});
    const std::optional<int> status = WaitExit(saver, 5s);
    ASSERT_TRUE(status.has_value()) << "the right password does not end the saver";
    EXPECT_EQ(*status, 0);
    saver = -1;
}

// The host as the session's autostart runs it: idle time from sway (org_kde_kwin_idle), the
// chosen saver started after it, over the panel; a key ends the saver and the next idle stretch
// brings it back; SIGTERM ends both.
TEST_F(WaylandSaverE2E, TheHostStartsTheSaverWhenIdleAndAgainAfterAKey) {
    constexpr int kTimeoutSeconds = 2;
    const ChosenSaver chosen = ChooseSaverForHost(install, user.Uid(), user.Gid(), kTimeoutSeconds);
    ASSERT_FALSE(chosen.tool.empty());
    std::vector<std::string> env = session;
    env.insert(env.end(), {"PLENOVA_MACHINE=" + install.machine.string(), "PLENOVA_AUDIO=test",
                           "PLENOVA_FRAME_DUMP=" + install.frames.string()});
    const auto since = Clock::now();
    const pid_t host = Spawn(AsUser(user, {chosen.tool.string(), "host"}, env), {}, false);
    ASSERT_GT(host, 0);
    EndedAtExit endHost{host};
    const auto saverRuns = [&] { return !ProcessesOf(chosen.saver).empty(); };
    // Started by the host, the saver shows its frames over the whole output.
    const auto saverShown = [&] {
        return WaitUntil([&] { return NewestComposedFrame(install.frames) >= 5; }, 20s, 20ms) &&
               WaitUntil([&] { return FrameOnScreen().has_value(); }, 3s, 100ms);
    };

    ASSERT_TRUE(saverShown()) << "the host started no saver that covers the output";
    EXPECT_GE(MillisecondsSince(since), kTimeoutSeconds * 1000 - 100)
        << "started before the idle time";

    Type({"q"});
    ASSERT_TRUE(WaitUntil([&] { return !saverRuns(); }, 5s, 20ms))
        << "a key does not end the saver";
    const auto ended = Clock::now();
    for (const auto& entry : fs::directory_iterator(install.frames)) fs::remove(entry.path());
    ASSERT_TRUE(saverShown()) << "the host does not start the saver again";
    EXPECT_GE(MillisecondsSince(ended), kTimeoutSeconds * 1000 - 600) << "started again too soon";

    ::kill(host, SIGTERM);
    const std::optional<int> status = WaitExit(host, 10s);
    ASSERT_TRUE(status.has_value()) << "the host does not end on SIGTERM";
    endHost.pid = -1;
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(WaitUntil([&] { return !saverRuns(); }, 5s, 20ms)) << "the saver outlived the host";
}

TEST_F(WaylandSaverE2E, APreviewWithoutAnXServerSaysSoAndFails) {
    testing::Started preview =
        testing::Start(AsUser(user, {install.program.string(), "/p", "1234"}, session),
                       testing::Capture::kOutputAndErrors);
    const std::string said = testing::ReadToEnd(preview.out);
    EXPECT_EQ(testing::WaitForExit(preview.pid), 1);
    EXPECT_NE(said.find("X11"), std::string::npos) << said;
}

}  // namespace
}  // namespace plenova::e2e

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
