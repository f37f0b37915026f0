// The windows of the setup program as the installation logic sees them: a background, the
// destination dialog, the copy window, the wait window, the event pump and the shell's folder
// window. Module1 reaches its windows only through this interface, so the Qt forms are thin
// adapters and a scripted double (scripted_windows.h) can drive a whole installation.
//
// Contract of every implementation:
//   - ShowBackground shows the full-screen background with the given title and keeps it open
//     until the process ends.
//   - RunPathDialog shows the destination dialog modally and returns how it closed. The dialog
//     itself holds no installation logic: Module1 turns the outcome into dstDir.
//   - ShowCopy shows the copy window without waiting; its stop button calls `onStop` (which
//     asks the user and may set the cancel request). SetCopyLabels changes its two labels;
//     HideCopy unloads it. The same holds for the wait window with its one label.
//   - PumpEvents lets pending window events run; a click on the copy window's stop button is
//     handled inside this call.
//   - OpenFolder opens a Windows folder in the shell's file browser.
// None of them reports failure: a window that cannot be shown is the desktop's problem, not
// the installation's.
#pragma once

#include <functional>
#include <string>

namespace plenova::setup {

// How the destination dialog closed.
enum class PathDialogClose {
    Start,   // cmdStart: the text box and the check box are the user's choice
    Cancel,  // cmdEnd: the user gave up; the process ends
    Closed,  // any other way (the window's close box): dstDir stays as it was
};

struct PathDialogRequest {
    std::string dstDir;        // the text box's start text, selected whole
    bool curdirEnabled = true; // chkCurdir can be checked (the source is on a fixed disk)
    std::string caption;       // productTitle & " Setup"
    std::string srcDir;        // for the browse dialog's start folder and chkCurdir
};

struct PathDialogResult {
    PathDialogClose how = PathDialogClose::Closed;
    std::string text;           // txtDstdir when it closed
    bool curdirChecked = false; // chkCurdir when it closed (value 1)
};

// The destination controls of the destination dialog, as UpdateCurdirState sees them.
class PathDialogControls {
public:
    virtual ~PathDialogControls() = default;
    virtual bool CurdirChecked() const = 0;
    // Label1, txtDstdir and cmdSansho together.
    virtual void SetDestinationEnabled(bool enabled) = 0;
};

class SetupWindows {
public:
    virtual ~SetupWindows() = default;

    virtual void ShowBackground(const std::string& title) = 0;

    virtual PathDialogResult RunPathDialog(const PathDialogRequest& request) = 0;

    virtual void ShowCopy(std::function<void()> onStop) = 0;
    virtual void SetCopyLabels(const std::string& sourceText,
                               const std::string& destinationText) = 0;
    virtual void HideCopy() = 0;

    virtual void ShowWait(const std::string& label) = 0;
    virtual void SetWaitHourglass() = 0;
    virtual void HideWait() = 0;

    virtual void PumpEvents() = 0;

    virtual void OpenFolder(const std::string& windowsPath) = 0;
};

}  // namespace plenova::setup
