// End-to-end: the Debian package. The test makes the package from this build with cpack, checks
// it with lintian (no errors; the warnings are printed), unpacks it with dpkg-deb -x into a
// temporary folder, and runs the saver from there, as XScreenSaver's hack and as the plenova-saver
// command, inside a window of its own X server: with no "App"/"Dir" setting, it must find the
// package's data and draw a moving scene over the whole window.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/scene_shots.h"
#include "tests/support/temp_folder.h"
#include "tests/support/x_server.h"

namespace plenova::e2e {
namespace {

namespace fs = std::filesystem;

// Runs a program to its end; its exit status and its output (standard output and error).
struct Output {
    int status = -1;
    std::string text;
};
Output Capture(const std::vector<std::string>& argv, std::chrono::seconds timeout = 300s) {
    testing::TempFolder temp("plenova-package-output");
    const fs::path file = temp / "output";
    std::vector<std::string> shell{"sh", "-c", "\"$@\" > \"$0\" 2>&1", file.string()};
    shell.insert(shell.end(), argv.begin(), argv.end());
    const pid_t pid = Spawn(shell, {}, false);
    Output out;
    if (pid < 0) return out;
    const std::optional<int> status = WaitExit(pid, timeout);
    if (!status) Kill(pid);
    out.status = status.value_or(-1);
    out.text = testing::ReadAll(file);
    return out;
}

std::vector<std::string> LinesWith(const std::string& text, const std::string& start) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(start)) lines.push_back(line);
    return lines;
}

// The package, made and unpacked once for every test.
struct Package {
    testing::TempFolder folder{"plenova-package"};
    fs::path deb;
    fs::path root = folder / "root";
    std::string problem;  // why there is none
};
Package* package = nullptr;

class PackageE2E : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        package = new Package;
        // PLENOVA_PACKAGE_BUILD names another build folder to package (a release build).
        const char* other = std::getenv("PLENOVA_PACKAGE_BUILD");
        const fs::path build = other != nullptr && *other != '\0' ? other : PLENOVA_BINARY_DIR;
        const Output made =
            Capture({"cpack", "-G", "DEB", "--config", (build / "CPackConfig.cmake").string(), "-B",
                     package->folder.Path().string()});
        for (const auto& entry : fs::directory_iterator(package->folder.Path()))
            if (entry.path().extension() == ".deb") package->deb = entry.path();
        if (made.status != 0 || package->deb.empty()) {
            package->problem = "cpack failed:\n" + made.text;
            return;
        }
        const Output unpacked =
            Capture({"dpkg-deb", "-x", package->deb.string(), package->root.string()});
        if (unpacked.status != 0) package->problem = "dpkg-deb -x failed:\n" + unpacked.text;
    }
    static void TearDownTestSuite() {
        delete package;
        package = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(package->problem.empty()) << package->problem; }
};

TEST_F(PackageE2E, IsNamedByVersionAndArchitectureAndPassesLintian) {
    EXPECT_EQ(package->deb.filename().string(), "plenova_" PLENOVA_VERSION "_amd64.deb");
    const Output lintian = Capture({"lintian", "--no-tag-display-limit", package->deb.string()});
    const std::vector<std::string> errors = LinesWith(lintian.text, "E: ");
    EXPECT_TRUE(errors.empty()) << lintian.text;
    EXPECT_EQ(lintian.status, 0) << lintian.text;
    std::printf("lintian warnings:\n");
    for (const std::string& line : LinesWith(lintian.text, "W: "))
        std::printf("  %s\n", line.c_str());

    // The dependencies come from the programs' libraries.
    const Output depends = Capture({"dpkg-deb", "-f", package->deb.string(), "Depends"});
    for (const char* library : {"libqt6widgets6", "libqt6multimedia6", "libsndfile1", "libc6"})
        EXPECT_NE(depends.text.find(library), std::string::npos) << depends.text;
    // And from what the programs load at run time: a Japanese font, Qt's translations.
    // Wayland sessions need Qt's Wayland platform plugin, which no library link names.
    for (const char* loaded :
         {"fonts-ipafont-gothic | fonts-noto-cjk", "qt6-translations-l10n", "qt6-wayland"})
        EXPECT_NE(depends.text.find(loaded), std::string::npos) << depends.text;
}

TEST_F(PackageE2E, HoldsTheProgramsDataMenuEntriesAndManualPages) {
    const fs::path usr = package->root / "usr";
    struct Expected {
        const char* path;
        bool executable;
    };
    const Expected files[] = {
        {"bin/plenova-machine", true},
        {"bin/plenova-saver", true},
        {"lib/plenova/PlenovaSaver.scr", true},
        {"lib/plenova/PlenovaSetup.exe", true},
        {"lib/plenova/TAVORIN.DLL", false},
        {"lib/plenova/SETUP.ini", false},
        {"lib/plenova/SCR.wav", false},
        {"libexec/xscreensaver/plenova", true},
        {"share/xscreensaver/config/plenova.xml", false},
        {"share/plenova/data/SETUP.ini", false},
        {"share/plenova/data/背景.bmp", false},
        {"share/man/man1/plenova-saver.1.gz", false},
        {"share/man/man1/plenova-machine.1.gz", false},
        {"share/man/man6/plenova.6.gz", false},
        {"share/doc/plenova/copyright", false},
        {"share/doc/plenova/changelog.gz", false},
    };
    for (const Expected& f : files) {
        const fs::path path = usr / f.path;
        ASSERT_TRUE(fs::is_regular_file(path)) << path;  // links followed: none dangles
        EXPECT_EQ(::access(path.c_str(), X_OK) == 0, f.executable) << path;
    }
    // Menu entries without a complaint or a hint, each with an icon that the package installs
    // at every size of the icon theme.
    for (const char* entry : {"plenova-saver.desktop", "plenova-saver-settings.desktop"}) {
        const fs::path path = usr / "share" / "applications" / entry;
        const Output validation = Capture({"desktop-file-validate", path.string()});
        EXPECT_EQ(validation.status, 0) << path << "\n" << validation.text;
        EXPECT_EQ(validation.text, "") << path;
        const std::vector<std::string> icons = LinesWith(testing::ReadAll(path), "Icon=");
        ASSERT_EQ(icons.size(), 1u) << path;
        for (const char* size :
             {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"}) {
            EXPECT_TRUE(fs::is_regular_file(usr / "share/icons/hicolor" / size / "apps" /
                                            (icons[0].substr(5) + ".png")))
                << icons[0] << " " << size;
        }
    }
    // The manual pages format without complaints.
    for (const char* page :
         {"man1/plenova-saver.1.gz", "man1/plenova-machine.1.gz", "man6/plenova.6.gz"}) {
        const fs::path path = usr / "share" / "man" / page;
        const Output formatted =
            Capture({"sh", "-c", "zcat \"$0\" | groff -man -Tutf8 -ww -z 2>&1", path.string()});
        EXPECT_EQ(formatted.status, 0) << page;
        EXPECT_EQ(formatted.text, "") << page;
    }
}

// Both ways in: the hack in XScreenSaver's folder and the command, a link into the medium.
class UnpackedSaverE2E : public PackageE2E, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnpackedSaverE2E, FindsItsDataAndDrawsAMovingScene) {
    const fs::path program = package->root / "usr" / GetParam();
    testing::TempFolder run("plenova-package-run");
    for (const char* folder : {"home", "machine", "runtime"}) fs::create_directories(run / folder);
    fs::permissions(run / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    const std::vector<std::string> env = {"HOME=" + (run / "home").string(),
                                          "PLENOVA_MACHINE=" + (run / "machine").string(),
                                          "XDG_RUNTIME_DIR=" + (run / "runtime").string(),
                                          "QT_QPA_PLATFORM=xcb",
                                          "PLENOVA_AUDIO=test",
                                          "PLENOVA_AUDIO_TEST_MS=60000"};

    // Magenta, which the scene never shows.
    const int width = 400, height = 300;
    const Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, width,
                                            height, 0, 0, 0xFF00FF);
    XMapWindow(display, host);
    XSync(display, False);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", host);
    const pid_t pid = Spawn({program.string(), "-window-id", id}, env, false);
    ASSERT_GT(pid, 0);

    const auto covered = [&] {
        const WindowShot shot = ShootWindow(host);
        return shot.width == width &&
               std::find(shot.pixels.begin(), shot.pixels.end(), 0xFF00FFu) == shot.pixels.end();
    };
    const bool drawn = WaitUntil(covered, 20s);
    const WindowShot first = ShootWindow(host);
    bool moved = false;
    if (drawn) {
        moved = WaitUntil([&] { return ChangedShare(first, ShootWindow(host)) > 0.0; }, 5s);
    }
    ::kill(pid, SIGTERM);
    const std::optional<int> status = WaitExit(pid, 5s);
    if (!status) Kill(pid);
    XDestroyWindow(display, host);
    XSync(display, False);

    EXPECT_TRUE(drawn) << program << " did not cover its window (no data found?)";
    EXPECT_TRUE(moved) << program << " shows a still picture";
    ASSERT_TRUE(status.has_value()) << "no end on SIGTERM";
    EXPECT_EQ(*status, 0);
}

INSTANTIATE_TEST_SUITE_P(Programs, UnpackedSaverE2E,
                         ::testing::Values("libexec/xscreensaver/plenova", "bin/plenova-saver"),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "Hack" : "Command");
                         });

}  // namespace
}  // namespace plenova::e2e

int main(int argc, char** argv) {
    return plenova::e2e::RunTestsOnOwnXServer(argc, argv, "640x480x24");
}
