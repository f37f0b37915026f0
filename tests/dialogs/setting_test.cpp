// The settings dialog (frmSetting) and the preview form (frmPrev).
#include <cstdlib>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dialogs/frm_password2.h"
#include "dialogs/frm_prev.h"
#include "dialogs/frm_setting.h"
#include "form_test_support.h"

using namespace plenova;
using namespace plenova::dialogs;
using plenova::testing::EndsProcess;
using plenova::testing::NextInTabOrder;

namespace {

// ----- what the dialog shows for stored values -----

TEST(SettingDisplay, SensitivityIsTheRoundedNumberWithinOneToTen) {
    const std::pair<const char*, int> cases[] = {
        {"1", 1},     {"10", 10}, {"5", 5},      {"12", 1},  {"11", 1},     {"0", 1},
        {"-3", 1},    {"3.5", 4}, {"2.5", 2},    {"9.5", 10}, {"10.5", 10}, {"abc", 1},
        {"7abc", 7},  {" 4 ", 4}, {"", 1},       {"99999", 1}, {"1e300", 1}, {"&H3", 3},
    };
    for (const auto& [stored, shown] : cases)
        EXPECT_EQ(SensitivityForDisplay(stored), shown) << '"' << stored << '"';
}

TEST(SettingDisplay, PasswordSwitchIsCheckedOnlyForOne) {
    EXPECT_TRUE(PasswordSwitchForDisplay("1"));
    EXPECT_TRUE(PasswordSwitchForDisplay(" 1 "));
    EXPECT_TRUE(PasswordSwitchForDisplay("1.0"));
    EXPECT_FALSE(PasswordSwitchForDisplay("0"));
    EXPECT_FALSE(PasswordSwitchForDisplay("2"));
    EXPECT_FALSE(PasswordSwitchForDisplay("-1"));
    EXPECT_FALSE(PasswordSwitchForDisplay("yes"));
    EXPECT_FALSE(PasswordSwitchForDisplay(""));
    EXPECT_FALSE(PasswordSwitchForDisplay("70000"));
}

// ----- frmSetting -----

class SettingDialogTest : public plenova::testing::FormTest {
protected:
    frmSetting& Open() {
        dialog_ = std::make_unique<frmSetting>();
        dialog_->Show();
        return *dialog_;
    }
    std::unique_ptr<frmSetting> dialog_;
};

TEST_F(SettingDialogTest, FreshAccountShowsOneAndAnUncheckedBox) {
    frmSetting& f = Open();
    EXPECT_EQ(f.lblMouse->text(), QStringLiteral("1"));
    EXPECT_FALSE(f.chkUsePass->isChecked());
    // Nothing is written before the dialog closes.
    EXPECT_EQ(Read("Set", "Mouse"), "<missing>");
    EXPECT_EQ(Read("User", "Usepassword"), "<missing>");
}

TEST_F(SettingDialogTest, StoredValuesAreShown) {
    Write("Set", "Mouse", "3.5");
    Write("User", "Usepassword", "1");
    frmSetting& f = Open();
    EXPECT_EQ(f.lblMouse->text(), QStringLiteral("4"));
    EXPECT_TRUE(f.chkUsePass->isChecked());
}

TEST_F(SettingDialogTest, WindowLooksAsDesigned) {
    frmSetting& f = Open();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Plenova Saver Setting"));
    EXPECT_EQ(f.size(), QSize(417, 324));  // 6255 x 4860 twips
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(f.windowIcon().isNull());
    EXPECT_EQ(f.palette().color(QPalette::Window), QColor(Qt::black));
    // Centred by its outer frame (the offscreen platform draws one of a few pixels).
    const QRect outer = f.frameGeometry();
    EXPECT_LE(std::abs(2 * outer.x() + outer.width() - 640), 1) << outer.x();
    EXPECT_LE(std::abs(2 * outer.y() + outer.height() - 480), 1) << outer.y();

    // Every control and picture at its twips place (in pixels at 15 twips per pixel).
    const std::pair<QWidget*, QRect> places[] = {
        {f.cmdChangePass, {64, 248, 129, 33}}, {f.lblMouse, {296, 184, 33, 25}},
        {f.Label2, {232, 184, 57, 25}},        {f.cmdUp, {344, 160, 33, 33}},
        {f.cmdDown, {344, 200, 33, 33}},       {f.cmdOK, {232, 248, 129, 33}},
        {f.chkUsePass, {48, 184, 177, 25}},    {f.Label1, {80, 288, 289, 17}},
        {f.Image6, {112, 8, 206, 71}},         {f.Image1, {192, 56, 32, 32}},
        {f.Image5, {160, 120, 45, 45}},        {f.Image4, {80, 112, 31, 31}},
        {f.Image3, {336, 88, 25, 25}},         {f.Image2[0], {216, 112, 15, 15}},
        {f.Image2[1], {360, 24, 15, 15}},      {f.Image2[2], {216, 216, 15, 15}},
        {f.Image2[3], {24, 32, 15, 15}},       {f.Image2[4], {40, 152, 15, 15}},
        {f.Image2[5], {376, 248, 15, 15}},     {f.Image2[6], {80, 80, 15, 15}},
        {f.Image2[7], {280, 72, 15, 15}},
    };
    for (const auto& [control, rect] : places)
        EXPECT_EQ(control->geometry(), rect) << control->objectName().toStdString();
    EXPECT_EQ(f.cmdChangePass->text(), QStringLiteral("パスワードの変更(&C)"));
    EXPECT_EQ(f.cmdOK->text(), QStringLiteral("終了(&X)"));
    EXPECT_EQ(f.Label2->text(), QStringLiteral("マウスの感度"));
    EXPECT_EQ(f.chkUsePass->text(), QStringLiteral("パスワードを使用する"));
    EXPECT_TRUE(f.cmdUp->text().isEmpty());
    EXPECT_FALSE(f.cmdUp->icon().isNull() || f.cmdDown->icon().isNull());
    // Without the picture files the stand-ins have the pictures' sizes.
    EXPECT_EQ(f.Image6->pixmap().size(), QSize(206, 71));
    EXPECT_EQ(f.Image2[7]->pixmap().size(), QSize(15, 15));

    // Yellow on black; the credit on the window's own black; buttons in the system's colours.
    const QColor yellow(255, 255, 0);
    for (QWidget* w : std::initializer_list<QWidget*>{f.lblMouse, f.Label2, f.chkUsePass}) {
        EXPECT_EQ(w->palette().color(QPalette::WindowText), yellow);
        EXPECT_EQ(w->palette().color(w->backgroundRole()), QColor(Qt::black));
        EXPECT_TRUE(w->autoFillBackground());
    }
    EXPECT_EQ(f.Label1->palette().color(QPalette::WindowText), yellow);
    EXPECT_FALSE(f.Label1->autoFillBackground());
    EXPECT_NE(f.cmdOK->palette().color(QPalette::ButtonText), yellow);

    const std::tuple<QWidget*, double, bool> fonts[] = {
        {f.lblMouse, 18, false}, {f.Label2, 9.75, false}, {f.chkUsePass, 11.25, true},
        {f.Label1, 12, false}};
    for (const auto& [w, points, bold] : fonts) {
        EXPECT_EQ(w->font().family(), QString::fromUtf8(forms::kUiFontFamily));
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), points);
        EXPECT_EQ(w->font().bold(), bold);
    }
    EXPECT_EQ(NextInTabOrder(f.cmdChangePass), f.cmdUp);
    EXPECT_EQ(NextInTabOrder(f.cmdUp), f.cmdDown);
    EXPECT_EQ(NextInTabOrder(f.cmdDown), f.cmdOK);
    EXPECT_EQ(NextInTabOrder(f.cmdOK), f.chkUsePass);
}

TEST_F(SettingDialogTest, PictureFilesAreUsedWhenPresent) {
    QImage title(206, 71, QImage::Format_Indexed8);
    title.setColorCount(256);
    for (int i = 0; i < 256; ++i) title.setColor(i, qRgb(i, 0, 255 - i));
    title.fill(7);
    ASSERT_TRUE(title.save(QString::fromStdString((temp_.Path() / "pictures" / "TITLE.BMP").string()),
                           "BMP"));
    frmSetting& f = Open();
    const QImage shown = f.Image6->pixmap().toImage();
    ASSERT_EQ(shown.size(), QSize(206, 71));
    EXPECT_EQ(QColor(shown.pixel(100, 30)), QColor(7, 0, 248));
}

TEST_F(SettingDialogTest, UpAndDownStopAtTenAndOne) {
    Write("Set", "Mouse", "9");
    frmSetting& f = Open();
    QTest::mouseClick(f.cmdUp, Qt::LeftButton);
    EXPECT_EQ(f.lblMouse->text(), QStringLiteral("10"));
    QTest::mouseClick(f.cmdUp, Qt::LeftButton);
    EXPECT_EQ(f.lblMouse->text(), QStringLiteral("10"));
    for (int i = 0; i < 12; ++i) QTest::mouseClick(f.cmdDown, Qt::LeftButton);
    EXPECT_EQ(f.lblMouse->text(), QStringLiteral("1"));
    QTest::mouseClick(f.cmdUp, Qt::LeftButton);
    EXPECT_EQ(f.lblMouse->text(), QStringLiteral("2"));
}

TEST_F(SettingDialogTest, CloseButtonWritesBothSettingsAndEnds) {
    Write("Set", "Mouse", "12");
    frmSetting& f = Open();
    QTest::mouseClick(f.cmdUp, Qt::LeftButton);
    QTest::mouseClick(f.chkUsePass, Qt::LeftButton);
    EXPECT_TRUE(f.chkUsePass->isChecked());
    EXPECT_TRUE(EndsProcess([&] { QTest::mouseClick(f.cmdOK, Qt::LeftButton); }));
    EXPECT_EQ(Read("Set", "Mouse"), "2");
    EXPECT_EQ(Read("User", "Usepassword"), "1");
    EXPECT_EQ((*processEnd_).Calls(), 1);
    EXPECT_EQ((*processEnd_).LastExitCode(), 0);
}

TEST_F(SettingDialogTest, ClosingTheWindowWritesBothSettingsAndEnds) {
    Write("Set", "Mouse", "abc");
    Write("User", "Usepassword", "1");
    frmSetting& f = Open();
    QTest::mouseClick(f.chkUsePass, Qt::LeftButton);  // unchecked now
    QCloseEvent close;
    EXPECT_TRUE(EndsProcess([&] { QCoreApplication::sendEvent(&f, &close); }));
    EXPECT_EQ(Read("Set", "Mouse"), "1");
    EXPECT_EQ(Read("User", "Usepassword"), "0");
}

TEST_F(SettingDialogTest, CaptionIsFindableWhileLoaded) {
    EXPECT_FALSE(platform::WindowWithCaptionExists("Plenova Saver Setting"));
    Open();
    EXPECT_TRUE(platform::WindowWithCaptionExists("Plenova Saver Setting"));
}

TEST_F(SettingDialogTest, ChangePasswordOpensTheModalDialogAndKeepsTheSwitch) {
    frmSetting& f = Open();
    bool sawDialog = false;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<frmPassword2*>(f.OpenPasswordDialog());
        if (dialog == nullptr) return;
        sawDialog = true;
        modal = dialog->isModal();
        dialog->txtPassword->setText(QStringLiteral("neu"));
        dialog->txtTest->setText(QStringLiteral("neu"));
        QTest::mouseClick(dialog->cmdOK, Qt::LeftButton);
    });
    QTest::mouseClick(f.cmdChangePass, Qt::LeftButton);  // returns when the dialog closed
    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(modal);
    EXPECT_EQ(f.OpenPasswordDialog(), nullptr);
    EXPECT_EQ(Read("User", "Pass"), "neu");
    EXPECT_FALSE(f.chkUsePass->isChecked());
    EXPECT_EQ(Read("User", "Usepassword"), "<missing>");
    // Closing keeps the new password, though the switch is off.
    EXPECT_TRUE(EndsProcess([&] { f.cmdOK_Click(); }));
    EXPECT_EQ(Read("User", "Pass"), "neu");
    EXPECT_EQ(Read("User", "Usepassword"), "0");
}

TEST_F(SettingDialogTest, CancelledPasswordChangeWritesNothing) {
    Write("User", "Pass", "old");
    frmSetting& f = Open();
    QTimer::singleShot(0, [&] {
        if (auto* dialog = dynamic_cast<frmPassword2*>(f.OpenPasswordDialog()))
            QTest::keyClick(dialog->txtPassword, Qt::Key_Escape);
    });
    f.cmdChangePass_Click();
    EXPECT_EQ(Read("User", "Pass"), "old");
    EXPECT_TRUE(Boxes().empty());
}

// ----- frmPrev -----

class PreviewFormTest : public plenova::testing::FormTest {};

TEST_F(PreviewFormTest, DesignSizeAndPicture) {
    frmPrev form;
    form.Load();
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(form.windowTitle().isEmpty());
    EXPECT_EQ(form.size(), QSize(359 + 2, 265 + 2));  // 5385 x 3975 twips inside the border
    EXPECT_EQ(form.imgPrev->geometry(), QRect(0, 0, 310, 232));
    EXPECT_TRUE(form.imgPrev->hasScaledContents());
    EXPECT_EQ(form.imgPrev->pixmap().size(), QSize(310, 232));
}

TEST_F(PreviewFormTest, UnloadPostsTheQuitRequest) {
    frmPrev form;
    form.Load();
    int result = -1;
    bool timedOut = false;
    QTimer::singleShot(0, [&] { form.Unload(); });
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        QCoreApplication::exit(99);
    });
    QElapsedTimer clock;
    clock.start();
    result = QCoreApplication::exec();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(result, 0);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(form.IsLoaded());
}

TEST_F(PreviewFormTest, ClosingTheWindowUnloadsIt) {
    frmPrev form;
    form.Load();
    form.show();
    form.close();
    EXPECT_FALSE(form.IsLoaded());
}

TEST_F(PreviewFormTest, NoHostWatchWithoutForeignWindows) {
    // The offscreen platform reaches no foreign windows: the watch stays quiet.
    frmPrev form;
    form.Load();
    form.WatchHost(12345);
    EXPECT_TRUE(form.WatchingHost());
    QTest::qWait(120);
    EXPECT_TRUE(form.IsLoaded());
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
