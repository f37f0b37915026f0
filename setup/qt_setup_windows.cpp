#include "setup/qt_setup_windows.h"

#include <stdexcept>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

#include "platform/machine.h"
#include "setup/frm_back.h"
#include "setup/frm_copy.h"
#include "setup/frm_path.h"
#include "setup/frm_wait.h"
#include "setup/module1.h"

namespace plenova::setup {

QtSetupWindows::QtSetupWindows() = default;

QtSetupWindows::~QtSetupWindows() {
    // The dialogs belong to the background: they go first.
    path_.reset();
    copy_.reset();
    wait_.reset();
    back_.reset();
}

void QtSetupWindows::ShowBackground(const std::string& title) {
    if (!back_) back_ = std::make_unique<frmBack>();
    back_->ShowBackground(QString::fromStdString(title));
}

PathDialogResult QtSetupWindows::RunPathDialog(const PathDialogRequest& request) {
    if (logic_ == nullptr) throw std::logic_error("QtSetupWindows: no Module1 attached");
    path_ = std::make_unique<frmPath>(*logic_, back_.get());
    PathDialogResult result = path_->Run(request);
    path_.reset();
    return result;
}

void QtSetupWindows::ShowCopy(std::function<void()> onStop) {
    copy_ = std::make_unique<frmCopy>(std::move(onStop), back_.get());
    copy_->Show();
}

void QtSetupWindows::SetCopyLabels(const std::string& sourceText,
                                   const std::string& destinationText) {
    if (!copy_) return;
    copy_->labsrcfile->setText(QString::fromStdString(sourceText));
    copy_->labdstfile->setText(QString::fromStdString(destinationText));
}

void QtSetupWindows::HideCopy() {
    if (!copy_) return;
    copy_->UnloadByProgram();
    copy_.reset();
}

void QtSetupWindows::ShowWait(const std::string& label) {
    if (!wait_) wait_ = std::make_unique<frmWait>(back_.get());
    wait_->Label->setText(QString::fromStdString(label));
    wait_->Show();
}

void QtSetupWindows::SetWaitHourglass() {
    if (wait_) wait_->setCursor(Qt::WaitCursor);
}

void QtSetupWindows::HideWait() {
    if (!wait_) return;
    wait_->UnloadByProgram();
    wait_.reset();
}

void QtSetupWindows::PumpEvents() { QCoreApplication::processEvents(); }

void QtSetupWindows::OpenFolder(const std::string& windowsPath) {
    try {
        const auto host = platform::CurrentMachine().ToHost(windowsPath);
        if (!host) return;
        // The result is not looked at: without a file manager there is simply no window.
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(host->string())));
    } catch (const std::exception&) {
        // A courtesy window only: the installation goes on without it.
    }
}

}  // namespace plenova::setup
