// What the host's journeys on Wayland desktops share: the installed saver's machine with the
// saver chosen as Display Properties chooses it (HKCU\Control Panel\Desktop), for the real
// plenova-machine host to find.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/hack_install.h"

namespace plenova::e2e {

// plenova-machine on the install's machine; its standard output up to the first line end, or
// nothing when it fails.
inline std::optional<std::string> MachineTool(const HackInstall& install,
                                              const std::vector<std::string>& args) {
    std::vector<std::string> argv{"env", "PLENOVA_MACHINE=" + install.machine.string(),
                                  PLENOVA_MACHINE_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    const testing::Finished done = testing::RunToEnd(argv, testing::Capture::kOutputOnly);
    if (done.exitCode != 0) return std::nullopt;
    return done.output.substr(0, done.output.find('\n'));
}

// Hands everything in the install's machine to the user who runs its programs; false (with a
// test failure) when something could not be handed over.
inline bool GiveMachineTo(const HackInstall& install, uid_t uid, gid_t gid) {
    for (const auto& entry : fs::recursive_directory_iterator(install.machine)) {
        if (::lchown(entry.path().c_str(), uid, gid) != 0) {
            ADD_FAILURE() << "cannot hand " << entry.path() << " to the user";
            return false;
        }
    }
    return true;
}

// The saver's program file on the host, and the machine tool that the host runs from.
struct ChosenSaver {
    fs::path tool;
    fs::path saver;
};

// The saver copied into the machine's C:\WINDOWS, its data folder set as the setup sets it,
// the saver chosen to start after `timeoutSeconds` idle, and the machine tool copied beside the
// saver's command; the machine then belongs to the user who runs the host (uid, gid). Empty
// paths when something failed (with a test failure).
inline ChosenSaver ChooseSaverForHost(const HackInstall& install, uid_t uid, gid_t gid,
                                      int timeoutSeconds) {
    const std::string saver = "C:\\WINDOWS\\PlenovaSaver.scr";
    const std::optional<std::string> saverFile = MachineTool(install, {"path", "-u", saver});
    const std::optional<std::string> dataFolder = MachineTool(
        install, {"path", "-w", (install.prefix / "share" / "plenova" / "data").string()});
    if (!saverFile || !dataFolder) {
        ADD_FAILURE() << "the machine does not map its paths";
        return {};
    }
    std::error_code ec;
    fs::create_directories(fs::path(*saverFile).parent_path(), ec);
    fs::copy_file(PLENOVA_SAVER_PATH, *saverFile, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        ADD_FAILURE() << "the saver cannot be copied to " << *saverFile << ": " << ec.message();
        return {};
    }
    const std::string desktop = "HKCU\\Control Panel\\Desktop";
    const std::vector<std::vector<std::string>> values{
        {"HKCU\\Software\\PlenovaSaver\\App", "/v", "Dir", "/d", *dataFolder},
        {desktop, "/v", "ScreenSaveActive", "/d", "1"},
        {desktop, "/v", "ScreenSaveTimeOut", "/d", std::to_string(timeoutSeconds)},
        {desktop, "/v", "SCRNSAVE.EXE", "/d", saver}};
    for (const auto& value : values) {
        std::vector<std::string> args{"reg", "add"};
        args.insert(args.end(), value.begin(), value.end());
        args.push_back("/f");
        if (!MachineTool(install, args)) {
            ADD_FAILURE() << "reg add " << value[0] << " " << value[2] << " failed";
            return {};
        }
    }
    const fs::path tool = install.prefix / "bin" / "plenova-machine";
    fs::copy_file(PLENOVA_MACHINE_TOOL, tool, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        ADD_FAILURE() << "the machine tool cannot be copied: " << ec.message();
        return {};
    }
    if (!GiveMachineTo(install, uid, gid)) return {};
    return {tool, *saverFile};
}

}  // namespace plenova::e2e
