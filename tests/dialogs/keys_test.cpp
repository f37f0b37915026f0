// The keyboard of every dialog, as on a desktop: Enter presses the focused button, else the
// default button; Esc is the cancel button. Keys go to the control that has the focus.
#include <memory>
#include <string>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dialogs/frm_password2.h"
#include "dialogs/frm_setting.h"
#include "form_test_support.h"
#include "setup/frm_copy.h"
#include "setup/frm_path.h"
#include "setup/frm_sansho.h"
#include "setup/module1.h"
#include "setup/qt_setup_windows.h"

using namespace plenova;
using plenova::testing::EndsProcess;

namespace {

class DialogKeysTest : public plenova::testing::FormTest {
protected:
    DialogKeysTest() : module_(windows_, library_) {
        module_.winDir = machine_->WindowsFolder();
        module_.sysDir = machine_->SystemFolder();
        windows_.Attach(module_);
    }

    // The destination dialog closed by `act`, run once it is open.
    setup::PathDialogResult RunPath(std::function<void(setup::frmPath&)> act) {
        QTimer::singleShot(0, [this, act] { act(*windows_.PathDialog()); });
        return windows_.RunPathDialog({"C:\\Plenova", true, "Plenova Saver Setup", "A:"});
    }

    // The folder browser opened from the destination dialog and closed by `act`; what it
    // returned.
    std::string Browse(std::function<void(setup::frmSansho&)> act) {
        std::string chosen = "<open>";
        RunPath([&](setup::frmPath& path) {
            QTimer::singleShot(0, [&path, act] { act(*path.Sansho()); });
            path.cmdSansho_Click();
            chosen = path.Sansho()->sanshodir;
            path.cmdStart_Click();
        });
        return chosen;
    }

    setup::QtSetupWindows windows_;
    setup::SupportLibrary library_;
    setup::Module1 module_;
};

TEST_F(DialogKeysTest, SetupDialogsPressTheFocusedButtonOnEnterAndCancelOnEsc) {
    EXPECT_EQ(RunPath([](setup::frmPath& f) { QTest::keyClick(f.cmdStart, Qt::Key_Return); }).how,
              setup::PathDialogClose::Start);
    EXPECT_EQ(RunPath([](setup::frmPath& f) { QTest::keyClick(f.cmdEnd, Qt::Key_Enter); }).how,
              setup::PathDialogClose::Cancel);
    EXPECT_EQ(RunPath([](setup::frmPath& f) { QTest::keyClick(f.txtDstdir, Qt::Key_Escape); }).how,
              setup::PathDialogClose::Cancel);

    // The browser: ｷｬﾝｾﾙ focused cancels, OK is the default elsewhere, Esc cancels.
    EXPECT_EQ(Browse([](setup::frmSansho& f) { QTest::keyClick(f.cmdCancel, Qt::Key_Return); }),
              "");
    EXPECT_EQ(Browse([](setup::frmSansho& f) { QTest::keyClick(f.Dir1, Qt::Key_Return); }),
              "C:\\");
    EXPECT_EQ(Browse([](setup::frmSansho& f) { QTest::keyClick(f.cmdOK, Qt::Key_Return); }),
              "C:\\");
    EXPECT_EQ(Browse([](setup::frmSansho& f) { QTest::keyClick(f.Drive1, Qt::Key_Escape); }), "");

    // The copy window: its one button asks whether to stop, by Enter on it and by Esc.
    int asked = 0;
    windows_.ShowCopy([&asked] { ++asked; });
    QTest::keyClick(windows_.CopyWindow()->cmdStop, Qt::Key_Return);
    QTest::keyClick(windows_.CopyWindow(), Qt::Key_Escape);
    EXPECT_EQ(asked, 2);
    windows_.HideCopy();
}

TEST_F(DialogKeysTest, SaverDialogsPressTheFocusedButtonOnEnterAndCancelOnEsc) {
    Write("User", "Pass", "secret");
    // The password change: Enter on a focused キャンセル(&C) writes nothing.
    {
        dialogs::frmPassword2 change;
        change.Show();
        QTest::keyClicks(change.txtPassword, "new");
        QTest::keyClicks(change.txtTest, "new");
        QTest::keyClick(change.Command1, Qt::Key_Return);
        EXPECT_FALSE(change.IsLoaded());
        EXPECT_EQ(Read("User", "Pass"), "secret");
    }

    // The settings dialog: Enter on a focused arrow presses it; Esc closes the dialog, which
    // saves and ends the program.
    dialogs::frmSetting setting;
    setting.Show();
    const QString before = setting.lblMouse->text();
    QTest::keyClick(setting.cmdUp, Qt::Key_Return);
    EXPECT_EQ(setting.lblMouse->text().toInt(), before.toInt() + 1);
    EXPECT_TRUE(EndsProcess([&] { QTest::keyClick(setting.chkUsePass, Qt::Key_Escape); }));
    EXPECT_EQ(Read("Set", "Mouse"), std::to_string(before.toInt() + 1));
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
