// Module1: the setup program's code module. It installs a product described by the script
// "SETUP.ini" in two stages (the first copies the setup program and its support library off the
// medium and restarts from the Windows folder; the second asks for the destination, registers
// the uninstall entry, copies the files, makes the Start-menu entries and records everything
// in the uninstall log) and removes it again with "/UNINST " and the product title.
//
// All paths are Windows paths of the current machine (platform/machine.h), UTF-8 inside. A "/"
// in a path coming from the script, the command line or the user is a "\" like on Windows: a
// path starting with "/" lies on the current drive, never outside the machine's drives.
//
// Failures the user must see are message boxes with the caption "PlenovaSetup" (notice: OK and
// no icon; warning: OK and exclamation; question: Yes/No, only Yes consents), and the process
// ends after them through platform::EndProcess. Run-time errors (base/errors.h) that no step
// handles propagate to the caller, except inside RunInstall and RunUninstall, which end only
// the step in which they arose.
//
// The windows are reached only through SetupWindows; the support library through
// SupportLibrary. Neither is owned.
//
// Records: the uninstall log is the settings-store application "PlenovaSetup", section
// productTitle; the uninstall entry is the key <productTitle> below HKEY_LOCAL_MACHINE's
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall". An empty product title has
// neither: nothing is logged or registered for it, and its uninstallation removes only the
// saver file and, when no product is logged any more, the setup program.
//
// Windows' read-only attribute is the owner's missing write permission: such a file is neither
// deleted nor overwritten, also when the program runs with the rights of the host's root.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/checked.h"
#include "setup/profile_reader.h"
#include "setup/setup_windows.h"
#include "setup/support_library.h"

namespace plenova::setup {

// Results of CopyOneFile.
inline constexpr Int16 kCopyDone = 1;
inline constexpr Int16 kCopyKept = 2;       // the destination is at least as new
inline constexpr Int16 kCopyFailed = 0;     // the message has been shown
inline constexpr Int16 kCopyCancelled = -1; // cancelRequested was -1

// Copying goes in blocks of this many bytes, with the event pump between blocks.
inline constexpr std::int64_t kCopyBlockBytes = 16384;

// How long records of the uninstall log may wait before they are written.
inline constexpr std::chrono::milliseconds kLogBatchTime{250};

// The largest script read, like the machine's other line files; a larger one counts as missing.
inline constexpr std::size_t kScriptLimit = 1u << 20;

// A file operation that the program does not handle itself failed (the classic "Path/File
// access error").
class FileAccessError : public RuntimeError {
public:
    explicit FileAccessError(const std::string& what) : RuntimeError(75, what) {}
};

// One band of the background's gradient: a pixel rectangle (right and bottom exclusive) and its
// colour word (red in bits 0-7, green 8-15, blue 16-23).
struct BackgroundBand {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    std::uint32_t colour = 0;
};

class Module1 {
public:
    Module1(SetupWindows& windows, SupportLibrary& supportLibrary);

    // ----- globals -----
    std::string setupAppName = "PlenovaSetup";
    std::string iniPath;
    std::string srcDir;
    std::string dstDir;
    std::string winDir;
    std::string sysDir;
    std::string productTitle;
    Int16 cancelRequested = 0;

    // Mode dispatch on the command line (the text after the program's name). Every mode ends
    // the process; Main never returns normally.
    [[noreturn]] void Main(const std::string& commandLine);

    // ----- script -----
    // Reads and parses the script at iniPath, once: every value comes from this reading. False
    // when it is missing or no regular file, or holds more than kScriptLimit bytes (then it
    // counts as missing and every value is "").
    bool LoadScript();
    // The value of `key` in `section` of the script at iniPath ("" when missing). Loads the
    // script when iniPath names another file than the one loaded.
    std::string ReadIni(std::string_view section, std::string_view key);
    // Field number `index` (from 1) of `value`; positions count characters. An empty separator
    // is never found (the whole value is field 1).
    static std::string GetField(std::string_view value, int index, std::string_view separator);
    // Replaces a leading "$WIN" or "$SYSTEM" (case-sensitive) in place; returns the result.
    std::string ExpandMacros(std::string& path) const;

    // ----- stages -----
    void RunBootstrap();
    void RunInstall();
    void RunUninstall();

    // ----- copying -----
    Int16 CopyOneFile(const std::string& source, const std::string& destination);
    void CopyBootFiles();
    void CopySetupFiles();
    bool MakeFolderPath(const std::string& path) const;
    void CleanUpSource();

    // ----- records -----
    void RegisterUninstall(Int16 doRegister);
    void CreateStartMenuEntries();
    std::string GetSpecialFolderPath(int id) const;
    void RemoveSetupProgram();

    // ----- window logic the forms forward to -----
    // chkCurdir_Click: the destination controls are enabled while the box is clear.
    static void UpdateCurdirState(PathDialogControls& controls);
    // frmCopy's cmdStop_Click: asks, and on Yes requests the cancel.
    void CmdStopClick();
    // frmSansho's start folder for a start text: the text itself when a folder or file of that
    // name exists, else the root of the Windows drive.
    std::string BrowseStartFolder(const std::string& sanshodir) const;

    // ----- drawing the forms do -----
    // The 256 bands of the background window (ShowBackground): bright green at the top to black
    // at the bottom, for a window of the given size in twips.
    static std::vector<BackgroundBand> BackgroundBands(double widthTwips, double heightTwips,
                                                       double twipsPerPixelX,
                                                       double twipsPerPixelY);


private:
    void Notice(const std::string& text) const;
    void Warning(const std::string& text) const;
    bool Question(const std::string& text) const;
    // Records a value of the uninstall log; records reach the store in batches, at the latest
    // kLogBatchTime after they were made, at the end of each step and before the process ends.
    void Log(const std::string& key, const std::string& value);
    void FlushLog();
    // Ends the process with the log written.
    [[noreturn]] void End(int exitCode);
    std::string LogValue(const std::string& key) const;
    std::string ExeName() const;
    // One numbered step of RunInstall: a run-time error ends the step only.
    void InstallStep(const std::function<void()>& step);
    void DestinationDialog();
    // The values "<prefix>1", "<prefix>2", ... of this product's log up to the first empty one.
    std::vector<std::string> LoggedPaths(const std::string& prefix) const;
    // Ends the process with the copy's message when `name` (a script's file name) leaves
    // `folder` or `path` lies outside it: the medium never reaches beyond its folders.
    void RequireBeneath(const std::string& folder, const std::string& name,
                        const std::string& path, const std::string& message);
    // A product title that could reach another key of the log or the registry, or carries
    // control characters, is refused with a message; the process ends.
    void RequireSafeTitle(const std::string& message);

    SetupWindows& windows_;
    SupportLibrary& supportLibrary_;
    std::string commandLine_;
    ProfileFile script_;
    std::optional<std::string> scriptPath_;  // the iniPath that script_ was read from
    std::vector<std::pair<std::string, std::string>> pendingLog_;  // records not yet written
    std::chrono::steady_clock::time_point pendingSince_;
};

}  // namespace plenova::setup
