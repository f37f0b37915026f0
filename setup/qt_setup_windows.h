// The setup program's windows on the desktop: frmBack, frmPath (with frmSansho), frmCopy and
// frmWait behind the interface that Module1 drives. The dialogs belong to the background while
// it is open, so they stay above it when it is clicked.
//
// Attach the Module1 before the first call: the browse dialog takes its start folder from it.
#pragma once

#include <memory>

#include "setup/setup_windows.h"

namespace plenova::setup {

class Module1;
class frmBack;
class frmCopy;
class frmPath;
class frmWait;

class QtSetupWindows : public SetupWindows {
public:
    QtSetupWindows();
    ~QtSetupWindows() override;

    void Attach(const Module1& logic) { logic_ = &logic; }

    void ShowBackground(const std::string& title) override;
    PathDialogResult RunPathDialog(const PathDialogRequest& request) override;
    void ShowCopy(std::function<void()> onStop) override;
    void SetCopyLabels(const std::string& sourceText, const std::string& destinationText) override;
    void HideCopy() override;
    void ShowWait(const std::string& label) override;
    void SetWaitHourglass() override;
    void HideWait() override;
    // QCoreApplication::processEvents.
    void PumpEvents() override;
    // Opens the folder's host folder with the desktop's file manager; quietly nothing where
    // there is none or the folder has no host folder.
    void OpenFolder(const std::string& windowsPath) override;

    // The windows while they are open (null otherwise), for tests and screenshots.
    frmBack* Background() const noexcept { return back_.get(); }
    frmPath* PathDialog() const noexcept { return path_.get(); }
    frmCopy* CopyWindow() const noexcept { return copy_.get(); }
    frmWait* WaitWindow() const noexcept { return wait_.get(); }

private:
    const Module1* logic_ = nullptr;
    std::unique_ptr<frmBack> back_;
    std::unique_ptr<frmPath> path_;
    std::unique_ptr<frmCopy> copy_;
    std::unique_ptr<frmWait> wait_;
};

}  // namespace plenova::setup
