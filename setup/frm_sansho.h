// frmSansho: the folder browser of the destination dialog. Dir1 shows the current drive's
// folders from its root down to the open folder and that folder's subfolders; a double-click
// opens a folder. Drive1 picks another drive. OK returns the open folder (as labPath shows it),
// Cancel returns "".
#pragma once

#include <functional>
#include <string>

#include <QComboBox>
#include <QTreeWidget>

#include "forms/form_support.h"

class QLabel;
class QPushButton;

namespace plenova::setup {

class Module1;

// The folder list: the open folder's ancestors (each one level deeper) and its subfolders.
// Paths are Windows paths of the current machine.
class FolderList : public QTreeWidget {
public:
    explicit FolderList(QWidget* parent = nullptr);

    // The open folder ("C:\WINDOWS", "A:\").
    const std::string& Path() const noexcept { return path_; }
    // Opens a folder; false (and nothing changed) when it is not an existing folder.
    bool SetPath(const std::string& windowsPath);
    // Called after the open folder changed (Dir1_Change).
    void SetOnChange(std::function<void()> callback) { onChange_ = std::move(callback); }
    // The Windows path of the item, or "" for none.
    static std::string PathOf(const QTreeWidgetItem* item);

private:
    void Fill();

    std::string path_;
    std::function<void()> onChange_;
};

// The drive list: every drive of the machine, C: and Z: included.
class DriveList : public QComboBox {
public:
    explicit DriveList(QWidget* parent = nullptr);

    // Lists the machine's drives afresh (the drive table may have changed since).
    void Refill();

    // The chosen drive's letter (upper case).
    char Drive() const;
    // Shows `letter`'s drive without calling the change callback.
    void SetDrive(char letter);
    // Called when the user picks a drive (Drive1_Change).
    void SetOnChange(std::function<void()> callback) { onChange_ = std::move(callback); }

private:
    std::function<void()> onChange_;
};

class frmSansho : public forms::Form {
public:
    // `logic` gives the start folder; `parent` the window the dialog belongs to.
    explicit frmSansho(const Module1& logic, QWidget* parent = nullptr);

    // On entry the folder to start from; on exit the chosen folder, or "" for Cancel. Closing
    // the window by other means leaves it as it was.
    std::string sanshodir;

    FolderList* Dir1 = nullptr;
    DriveList* Drive1 = nullptr;
    QLabel* labPath = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void Dir1_Change();
    void Drive1_Change();
    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void Form_Load() override;

private:
    const Module1& logic_;
};

}  // namespace plenova::setup
