// SCR: the saver's start-up module. Its entry procedure reads the data folder and the
// screen-saver switch, refuses to run beside a running copy, and loads exactly one window: the
// saver window (/s), the settings dialog (/c) or the preview inside a host window (/p <handle>).
// It also owns the globals that the saver window shares, the preview placement and the music.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/checked.h"
#include "dialogs/saver_names.h"
#include "platform/cursor.h"
#include "platform/x11/window_ops.h"

namespace plenova::dialogs {
class frmPrev;
class frmSetting;
}  // namespace plenova::dialogs

namespace plenova::saver {

class Form1;

namespace SCR {

// ----- globals (zero or empty at start) -----
extern std::string appDir;          // data folder, always ending in "\" after start-up
extern Int16 spriteCount;           // 13 in saver mode, 0 otherwise
extern platform::ScreenPoint cursorPos;  // last cursor position read, screen pixels
extern Int16 lastMouseX;            // cursor position at the previous movement check
extern Int16 lastMouseY;
extern Int16 mouseTolerance;        // largest movement per check that does not end the saver
extern Int16 bgmOpen;               // truth value: the music alias is open and playing started
extern Int16 previewLeft;           // rectangle of the preview form in the host, twips
extern Int16 previewTop;
extern Int16 previewWidth;
extern Int16 previewHeight;
// Set by the hack mode's mute switch: the music stays off whatever the settings say.
extern bool hostMuted;
// The data folder of the installed or unpacked copy (a Windows path; empty when there is none),
// set by the program before the entry procedure. Where "App"/"Dir" is unset, the data comes
// from there: an unset setting means no setup has chosen a folder, not a folder without data.
extern std::string installedDataDir;

// The windows that the entry procedure loaded (null when not loaded).
Form1* form1();
dialogs::frmSetting* frmSetting();
dialogs::frmPrev* frmPrev();
// True while one of the windows above is loaded; the program's event loop runs only then.
bool AnyWindowLoaded();

// Puts every global back to its start value and destroys the loaded windows (tests; and the
// program before its application object goes).
void ResetGlobals();

// ----- start-up steps, each usable on its own -----
// The switch: the first two characters of the trimmed argument text.
std::string SwitchOf(std::string_view argumentText);
// The host window handle: the numeric value of the untrimmed text from its fourth character on,
// rounded half to even to 32 bits. A value beyond 32 bits names no window and gives 0.
platform::ForeignWindowHandle HostHandleOf(std::string_view argumentText);
// "App"/"Dir" with a backslash appended when its last character is not one.
std::string DataFolderOf(std::string_view storedDir);
// The data folder of start-up: "App"/"Dir" when set, else `installedDir` when there is one,
// else the root folder of the current drive; with a final backslash.
std::string StartupDataFolder(std::string_view storedDir, std::string_view installedDir);
// A preview extent in twips: pixels times twips per pixel, rounded half to even to 16 bits.
// A host too large for 16-bit twips gets the largest extent that fits (32767), never a wrapped
// one; a negative extent gets 0.
Int16 PreviewExtent(std::int64_t pixels, Int32 twipsPerPixel);

// A switch setting ("Usepassword", "Mute") is on when its text converts to exactly the number 1;
// a text that is not a number counts as off, like the default "0".
bool SettingIsOn(const std::string& value);

// ----- procedures -----
// The entry procedure: `argumentText` is the command line without the program's own name.
void Main(std::string_view argumentText);
// Moves and sizes frmPrev and its picture from the four preview globals.
void PlacePreview();
// Background music: start it, stop and close it, or restart it when it has come to its end;
// any other action does nothing.
inline constexpr Int16 kMusicStart = 0;
inline constexpr Int16 kMusicStop = 1;
inline constexpr Int16 kMusicKeepLooping = 2;
void ControlMusic(Int16 action);

// Settings names shared by the saver's windows.
inline constexpr const char* kAppName = dialogs::kAppName;
inline constexpr const char* kMuteAppName = "ZEVRA6";

}  // namespace SCR
}  // namespace plenova::saver
