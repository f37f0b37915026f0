// Hack mode: the saver as a program that a screen-saver daemon (XScreenSaver, xsecurelock) or a
// settings app's preview runs, with the usual switches of such programs:
//
//   -root             the scene on the window named by $XSCREENSAVER_WINDOW (decimal or 0x hex)
//                     when that is set, else on the root window (the desktop background)
//   -window-id <id>   the scene inside that X11 window (decimal or 0x hex), at its size
//   -window           the scene in an ordinary window of its own
//   -mute             no music, whatever the settings say
//   -help             this list on standard output
//   -xscreensaver-install
//                     put the hack into the programs list of ~/.xscreensaver (alone)
//
// Each also with two dashes (--root). A command line is a hack command line when its trimmed
// text starts with "-", except the lone "-s", which keeps its meaning of a switch that opens
// nothing. Anything else that starts with "-" gets the usage text on standard error and exit
// status 2. The "/s", "/c", "/p" switches are not touched.
//
// The host owns input and the end: clicks, keys and pointer moves do not end the scene, and the
// pointer keeps its shape. The program ends on SIGTERM, SIGINT or SIGHUP, and when the window it
// draws in goes away, through the saver window's ordinary unload (music closed, sound device
// released).
//
// Data folder: "App"/"Dir" when it is set and holds the background; else the installed data
// folder found from the program's own place (InstalledDataFolder), with a line on standard
// error when a chosen folder was passed over.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/x11/window_ops.h"

namespace plenova::saver {

class Form1;

namespace Hack {

enum class Target { Root, WindowId, Window };

struct Options {
    Target target = Target::Window;
    platform::ForeignWindowHandle windowId = 0;  // with Target::WindowId
    bool mute = false;
};

struct Parsed {
    enum class Kind {
        NotHack,  // not ours: the start-up module takes the command line
        Run,      // run the scene with `options`
        Help,     // show the usage text on standard output, exit status 0
        Usage,    // `problem` and the usage text on standard error, exit status 2
        XScreenSaverInstall,  // hook the hack up with XScreenSaver (xscreensaver_install.h)
    };
    Kind kind = Kind::NotHack;
    Options options;
    std::string problem;
};

// Reads the arguments after the program's name.
Parsed ParseArguments(const std::vector<std::string>& args);

// A window id: decimal digits, or "0x"/"0X" and hex digits, nothing else, from 1 to 2^32 - 1.
std::optional<platform::ForeignWindowHandle> ParseWindowId(std::string_view text);

// The usage text, naming the program `programName`.
std::string UsageText(std::string_view programName);

// The data folder of an installed or unpacked copy, found from the program file's own place:
//   <prefix>/lib*/xscreensaver/<program> and <prefix>/libexec/xscreensaver/<program> (the hack
//   directory; any folder two levels below <prefix>) -> <prefix>/share/plenova/data
//   <folder>/<program> with the data beside it (the build's distribution folder) -> <folder>
// The first of these that holds the background picture; none when neither does.
std::optional<std::filesystem::path> InstalledDataFolder(const std::filesystem::path& programFile);

// The window that -root draws in, from the value of $XSCREENSAVER_WINDOW (null when unset):
// 0 for unset or empty (the whole screen), else the id; none when the value names no window id.
std::optional<platform::ForeignWindowHandle> ScreenSaverWindow(const char* value);

// The data folder in the machine's terms: the Windows name of a host folder, or the host path
// itself (which the machine takes as it stands) when the machine cannot be opened.
std::string MachineFolderName(const std::filesystem::path& folder);

// Starts the scene as `options` say, with the data in the settings' folder or found from
// `programFile`. False, with the reason on standard error, when there is nothing to show (no
// data, no such window); then no window is loaded. The program's event loop runs after true.
bool Run(const Options& options, const std::filesystem::path& programFile);

// The saver window that Run loaded (null before).
Form1* SceneWindow();

// Destroys what Run made (before the application object goes).
void Reset();

}  // namespace Hack
}  // namespace plenova::saver
