// frmPath: the destination dialog. It shows the default destination, lets the user type or
// browse for another or choose the source folder itself (chkCurdir), and closes with cmdStart
// (install), cmdEnd (give up) or by other means (the default stays). What the choice means for
// dstDir is Module1's business; the dialog only reports how it closed.
#pragma once

#include <memory>

#include "forms/form_support.h"
#include "setup/frm_sansho.h"
#include "setup/setup_windows.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace plenova::setup {

class frmPath : public forms::Form, public PathDialogControls {
public:
    explicit frmPath(const Module1& logic, QWidget* parent = nullptr);
    ~frmPath() override;

    QLineEdit* txtDstdir = nullptr;
    QPushButton* cmdSansho = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdEnd = nullptr;
    QLabel* Label1 = nullptr;
    QCheckBox* chkCurdir = nullptr;

    // Loads the dialog, fills it from `request` (text selected whole, chkCurdir enabled or not,
    // caption), shows it modally and returns how it closed.
    PathDialogResult Run(const PathDialogRequest& request);

    void cmdStart_Click();
    void cmdEnd_Click();
    void chkCurdir_Click();
    void cmdSansho_Click();

    // The browse dialog once it has been opened (it is made on the first browse and reused).
    frmSansho* Sansho() const noexcept { return sansho_.get(); }

    // ----- PathDialogControls -----
    bool CurdirChecked() const override;
    void SetDestinationEnabled(bool enabled) override;

protected:
    void Form_Load() override;

private:
    void Close(PathDialogClose how);

    const Module1& logic_;
    std::unique_ptr<frmSansho> sansho_;
    PathDialogResult result_;
};

}  // namespace plenova::setup
