// The password prompt (frmPassword) and the password change dialog (frmPassword2), driven with
// real key presses and clicks.
#include <cstdlib>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "dialogs/frm_password.h"
#include "dialogs/frm_password2.h"
#include "form_test_support.h"
#include "platform/x11/window_ops.h"

using namespace plenova;
using namespace plenova::dialogs;
using plenova::platform::MsgButtons;
using plenova::platform::MsgIcon;
using plenova::platform::PointerMode;
using plenova::testing::EndsProcess;
using plenova::testing::NextInTabOrder;

namespace {

constexpr const char* kWrong = "パスワードが違います。再入力して下さい。";
constexpr const char* kUpdated = "パスワードが更新されました。";
constexpr const char* kMismatch =
    "パスワードと、再入力したパスワードが一致しません。再入力して下さい。";

// ----- frmPassword -----

class PasswordPromptTest : public plenova::testing::FormTest {
protected:
    PasswordPromptTest() {
        saver_.setCursor(Qt::BlankCursor);
        prompt_ = std::make_unique<frmPassword>(saver_, [this] { ++musicStops_; });
        prompt_->SetOnUnloaded([this] { ++unloads_; });
        prompt_->Show();
    }

    // Types into the text box, which has the focus, and presses Enter there.
    void TypeAndEnter(const QString& text) {
        QTest::keyClicks(prompt_->txtPassword, text);
        QTest::keyClick(prompt_->txtPassword, Qt::Key_Return);
    }

    QWidget saver_;
    std::unique_ptr<frmPassword> prompt_;
    int musicStops_ = 0;
    int unloads_ = 0;
};

TEST_F(PasswordPromptTest, WindowAndControlsAtTheirPlaces) {
    frmPassword& f = *prompt_;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("パスワード"));
    EXPECT_EQ(f.size(), QSize(244, 86));  // 3660 x 1290 twips
    EXPECT_FALSE(f.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(f.minimumSize(), f.maximumSize());  // not resizable

    EXPECT_EQ(f.txtPassword->geometry(), QRect(8, 8, 225, 25));
    EXPECT_EQ(f.cmdOK->geometry(), QRect(136, 48, 97, 25));
    EXPECT_EQ(f.cmdCancel->geometry(), QRect(16, 48, 97, 25));
    EXPECT_EQ(f.cmdOK->text(), QStringLiteral("&OK"));
    EXPECT_EQ(f.cmdCancel->text(), QStringLiteral("キャンセル(&C)"));
    EXPECT_FALSE(f.cmdOK->isDefault() || f.cmdOK->autoDefault());
    EXPECT_FALSE(f.cmdCancel->isDefault() || f.cmdCancel->autoDefault());

    EXPECT_EQ(f.txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(f.txtPassword->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(f.txtPassword->font().family(), QString::fromUtf8(forms::kUiFontFamily));
    EXPECT_DOUBLE_EQ(f.txtPassword->font().pointSizeF(), 12.0);
    EXPECT_EQ(f.txtPassword->text(), QString());

    EXPECT_EQ(NextInTabOrder(f.txtPassword), f.cmdOK);
    EXPECT_EQ(NextInTabOrder(f.cmdOK), f.cmdCancel);
    EXPECT_EQ(f.findChild<QLineEdit*>(QStringLiteral("txtPassword")), f.txtPassword);
}

// True when the window's outer frame (the offscreen platform draws one of a few pixels) is
// centred on the 640 x 480 screen, to the pixel that rounding allows.
bool CentredByItsFrame(const QWidget& window) {
    const QRect outer = window.frameGeometry();
    return std::abs(2 * outer.x() + outer.width() - 640) <= 1 &&
           std::abs(2 * outer.y() + outer.height() - 480) <= 1;
}

TEST_F(PasswordPromptTest, LoadCentresTheWindowAndTheTextBoxHasTheFocus) {
    // (9600 - outer width) / 2 twips across, (7200 - outer height) / 2 down: 3660 x 1290 twips
    // and the frame.
    const QRect outer = prompt_->frameGeometry();
    EXPECT_DOUBLE_EQ(prompt_->Left(), (9600 - forms::PixelsToTwipsX(outer.width())) / 2);
    EXPECT_DOUBLE_EQ(prompt_->Top(), (7200 - forms::PixelsToTwipsY(outer.height())) / 2);
    EXPECT_TRUE(CentredByItsFrame(*prompt_)) << outer.x() << ", " << outer.y();
    EXPECT_EQ(prompt_->focusWidget(), prompt_->txtPassword);
}

TEST_F(PasswordPromptTest, RightPasswordByEnterStopsTheMusicAndEnds) {
    Write("User", "Pass", "Secret 1");
    EXPECT_TRUE(EndsProcess([&] { TypeAndEnter(QStringLiteral("Secret 1")); }));
    EXPECT_EQ(musicStops_, 1);
    EXPECT_EQ(platform::GetPointerMode(saver_), PointerMode::Default);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(unloads_, 0);  // no unload handling runs
}

TEST_F(PasswordPromptTest, RightPasswordByTheButtonEnds) {
    Write("User", "Pass", "パス");
    prompt_->txtPassword->setText(QStringLiteral("パス"));
    EXPECT_TRUE(EndsProcess([&] { QTest::mouseClick(prompt_->cmdOK, Qt::LeftButton); }));
    EXPECT_EQ(musicStops_, 1);
}

TEST_F(PasswordPromptTest, WrongPasswordByTheButtonIsRefusedAndHidesThePointer) {
    Write("User", "Pass", "abc");
    QTest::keyClicks(prompt_->txtPassword, QStringLiteral("abd"));
    EXPECT_FALSE(EndsProcess([&] { QTest::mouseClick(prompt_->cmdOK, Qt::LeftButton); }));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kWrong);
    EXPECT_EQ(Boxes()[0].caption, "PlenovaSaver");
    EXPECT_EQ(Boxes()[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(Boxes()[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(platform::GetPointerMode(saver_), PointerMode::Hidden);
    EXPECT_EQ(prompt_->txtPassword->text(), QString());
    EXPECT_EQ(prompt_->focusWidget(), prompt_->txtPassword);
    EXPECT_TRUE(prompt_->IsLoaded());
    EXPECT_EQ(musicStops_, 0);
}

TEST_F(PasswordPromptTest, WrongPasswordByEnterKeepsThePointerVisible) {
    Write("User", "Pass", "abc");
    saver_.setCursor(Qt::ArrowCursor);
    EXPECT_FALSE(EndsProcess([&] { TypeAndEnter(QStringLiteral("xyz")); }));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(platform::GetPointerMode(saver_), PointerMode::Default);
    EXPECT_EQ(prompt_->txtPassword->text(), QString());
    // Any number of attempts: the right one still works afterwards.
    EXPECT_TRUE(EndsProcess([&] { TypeAndEnter(QStringLiteral("abc")); }));
}

TEST_F(PasswordPromptTest, ComparisonIsExact) {
    Write("User", "Pass", "Abc ");
    for (const char* attempt : {"abc ", "Abc", "ABC ", " Abc ", "Abc  "}) {
        prompt_->txtPassword->setText(QString::fromUtf8(attempt));
        EXPECT_FALSE(EndsProcess([&] {
            QTest::keyClick(prompt_->txtPassword, Qt::Key_Return);
        })) << attempt;
    }
    EXPECT_EQ(Boxes().size(), 5u);
    EXPECT_TRUE(EndsProcess([&] { TypeAndEnter(QStringLiteral("Abc ")); }));
}

TEST_F(PasswordPromptTest, EnterOnAnEmptyBoxIsRefused) {
    Write("User", "Pass", "x");
    EXPECT_FALSE(EndsProcess([&] { QTest::keyClick(prompt_->txtPassword, Qt::Key_Enter); }));
    EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(PasswordPromptTest, PasswordIsReadAtEachCheck) {
    Write("User", "Pass", "old");
    prompt_->txtPassword->setText(QStringLiteral("new"));
    EXPECT_FALSE(EndsProcess([&] { prompt_->cmdOK_Click(); }));
    Write("User", "Pass", "new");
    prompt_->txtPassword->setText(QStringLiteral("new"));
    EXPECT_TRUE(EndsProcess([&] { prompt_->cmdOK_Click(); }));
}

TEST_F(PasswordPromptTest, EscapeCancelsFromAnyControl) {
    saver_.setCursor(Qt::ArrowCursor);
    QTest::keyClicks(prompt_->txtPassword, QStringLiteral("abc"));
    prompt_->cmdOK->setFocus();
    EXPECT_FALSE(EndsProcess([&] { QTest::keyClick(prompt_->cmdOK, Qt::Key_Escape); }));
    EXPECT_EQ(platform::GetPointerMode(saver_), PointerMode::Hidden);
    EXPECT_FALSE(prompt_->IsLoaded());
    EXPECT_FALSE(prompt_->isVisible());
    EXPECT_EQ(unloads_, 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(musicStops_, 0);
}

TEST_F(PasswordPromptTest, CancelButtonCancels) {
    saver_.setCursor(Qt::ArrowCursor);
    QTest::mouseClick(prompt_->cmdCancel, Qt::LeftButton);
    EXPECT_EQ(platform::GetPointerMode(saver_), PointerMode::Hidden);
    EXPECT_FALSE(prompt_->IsLoaded());
    EXPECT_EQ(unloads_, 1);
}

TEST_F(PasswordPromptTest, EnterOnTheFocusedCancelButtonCancelsInsteadOfChecking) {
    // As on any desktop dialog, Enter presses the focused button; elsewhere it checks.
    Write("User", "Pass", "abc");
    prompt_->txtPassword->setText(QStringLiteral("abc"));
    prompt_->cmdCancel->setFocus();
    EXPECT_FALSE(EndsProcess([&] { QTest::keyClick(prompt_->cmdCancel, Qt::Key_Return); }));
    EXPECT_FALSE(prompt_->IsLoaded());
    EXPECT_EQ(unloads_, 1);
}

// ----- frmPassword2 -----

class PasswordChangeTest : public plenova::testing::FormTest {
protected:
    PasswordChangeTest() {
        dialog_ = std::make_unique<frmPassword2>();
        dialog_->SetOnUnloaded([this] { ++unloads_; });
        dialog_->Show();
    }
    // The key goes to whichever control has the focus, as a real key would.
    void Key(Qt::Key key) {
        QWidget* target = dialog_->focusWidget() ? dialog_->focusWidget() : dialog_.get();
        QTest::keyClick(target, key);
    }

    std::unique_ptr<frmPassword2> dialog_;
    int unloads_ = 0;
};

TEST_F(PasswordChangeTest, WindowAndControlsAtTheirPlaces) {
    frmPassword2& f = *dialog_;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("PlenovaSaverのパスワード変更"));
    EXPECT_EQ(f.size(), QSize(263, 148));  // 3945 x 2220 twips
    EXPECT_FALSE(f.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(f.cmdOK->geometry(), QRect(152, 112, 89, 25));
    EXPECT_EQ(f.Command1->geometry(), QRect(40, 112, 89, 25));
    EXPECT_EQ(f.txtPassword->geometry(), QRect(8, 16, 249, 24));
    EXPECT_EQ(f.txtTest->geometry(), QRect(8, 72, 249, 25));
    EXPECT_EQ(f.Label1->geometry(), QRect(16, 56, 153, 17));
    EXPECT_EQ(f.Label1->text(), QStringLiteral("新しいﾊﾟｽﾜｰﾄﾞの確認入力"));
    EXPECT_EQ(f.cmdOK->text(), QStringLiteral("&OK"));
    EXPECT_EQ(f.Command1->text(), QStringLiteral("キャンセル(&C)"));
    for (QLineEdit* box : {f.txtPassword, f.txtTest}) {
        EXPECT_EQ(box->echoMode(), QLineEdit::Password);
        EXPECT_FALSE(box->testAttribute(Qt::WA_InputMethodEnabled));
        EXPECT_DOUBLE_EQ(box->font().pointSizeF(), 12.0);
    }
    EXPECT_EQ(NextInTabOrder(f.cmdOK), f.Command1);
    EXPECT_EQ(NextInTabOrder(f.Command1), f.txtPassword);
    EXPECT_EQ(NextInTabOrder(f.txtPassword), f.txtTest);
    // Centred, and the new password's box has the focus.
    EXPECT_TRUE(CentredByItsFrame(f)) << f.frameGeometry().x() << ", " << f.frameGeometry().y();
    EXPECT_EQ(f.focusWidget(), f.txtPassword);
}

TEST_F(PasswordChangeTest, EnterAfterTheNewPasswordMovesToTheConfirmation) {
    QTest::keyClicks(dialog_->txtPassword, QStringLiteral("neu"));
    Key(Qt::Key_Return);
    EXPECT_EQ(dialog_->focusWidget(), dialog_->txtTest);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Read("User", "Pass"), "<missing>");
    EXPECT_TRUE(dialog_->IsLoaded());
    // Then the confirmation and Enter again: accepted.
    QTest::keyClicks(dialog_->txtTest, QStringLiteral("neu"));
    Key(Qt::Key_Return);
    EXPECT_EQ(Read("User", "Pass"), "neu");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kUpdated);
    EXPECT_EQ(Boxes()[0].caption, "PlenovaSaver");
    EXPECT_EQ(Boxes()[0].icon, MsgIcon::None);
    EXPECT_EQ(Boxes()[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(dialog_->IsLoaded());
    EXPECT_EQ(unloads_, 1);
}

TEST_F(PasswordChangeTest, OkWithoutConfirmationIsAMismatch) {
    Write("User", "Pass", "old");
    QTest::keyClicks(dialog_->txtPassword, QStringLiteral("neu"));
    QTest::mouseClick(dialog_->cmdOK, Qt::LeftButton);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kMismatch);
    EXPECT_EQ(Boxes()[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(Boxes()[0].caption, "PlenovaSaver");
    EXPECT_EQ(dialog_->txtPassword->text(), QString());
    EXPECT_EQ(dialog_->txtTest->text(), QString());
    EXPECT_EQ(dialog_->focusWidget(), dialog_->txtPassword);
    EXPECT_EQ(Read("User", "Pass"), "old");
    EXPECT_TRUE(dialog_->IsLoaded());
}

TEST_F(PasswordChangeTest, EntriesDifferingInCaseAreRefusedByEnter) {
    dialog_->txtPassword->setText(QStringLiteral("Secret"));
    dialog_->txtTest->setText(QStringLiteral("secret"));
    Key(Qt::Key_Return);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kMismatch);
    EXPECT_EQ(Read("User", "Pass"), "<missing>");
}

TEST_F(PasswordChangeTest, ConfirmationWithoutNewPasswordIsCompared) {
    // An empty new password with a confirmation is compared like any other, so refused.
    dialog_->txtTest->setText(QStringLiteral("x"));
    Key(Qt::Key_Return);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kMismatch);
}

TEST_F(PasswordChangeTest, BothEmptyStoresTheEmptyPasswordByEnter) {
    Write("User", "Pass", "old");
    Key(Qt::Key_Return);
    EXPECT_EQ(Read("User", "Pass"), "");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, kUpdated);
    EXPECT_FALSE(dialog_->IsLoaded());
}

TEST_F(PasswordChangeTest, BothEmptyStoresTheEmptyPasswordByOk) {
    Write("User", "Pass", "old");
    QTest::mouseClick(dialog_->cmdOK, Qt::LeftButton);
    EXPECT_EQ(Read("User", "Pass"), "");
    EXPECT_FALSE(dialog_->IsLoaded());
}

TEST_F(PasswordChangeTest, PasswordIsStoredExactlyAsTyped) {
    dialog_->txtPassword->setText(QStringLiteral(" 合言葉 "));
    dialog_->txtTest->setText(QStringLiteral(" 合言葉 "));
    QTest::mouseClick(dialog_->cmdOK, Qt::LeftButton);
    EXPECT_EQ(Read("User", "Pass"), " 合言葉 ");
    // The password switch is not touched.
    EXPECT_EQ(Read("User", "Usepassword"), "<missing>");
}

TEST_F(PasswordChangeTest, EscapeAndCancelWriteNothing) {
    Write("User", "Pass", "old");
    dialog_->txtPassword->setText(QStringLiteral("a"));
    dialog_->txtTest->setText(QStringLiteral("a"));
    dialog_->txtTest->setFocus();
    Key(Qt::Key_Escape);
    EXPECT_FALSE(dialog_->IsLoaded());
    EXPECT_EQ(Read("User", "Pass"), "old");
    EXPECT_TRUE(Boxes().empty());

    PasswordChangeTest::dialog_ = std::make_unique<frmPassword2>();
    dialog_->Show();
    dialog_->txtPassword->setText(QStringLiteral("b"));
    dialog_->txtTest->setText(QStringLiteral("b"));
    QTest::mouseClick(dialog_->Command1, Qt::LeftButton);
    EXPECT_FALSE(dialog_->IsLoaded());
    EXPECT_EQ(Read("User", "Pass"), "old");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(PasswordChangeTest, OtherKeysReachTheFocusedControl) {
    QTest::keyClicks(dialog_->txtPassword, QStringLiteral("ab"));
    QTest::keyClick(dialog_->txtPassword, Qt::Key_Backspace);
    EXPECT_EQ(dialog_->txtPassword->text(), QStringLiteral("a"));
}

}  // namespace

int main(int argc, char** argv) { return plenova::testing::RunFormTests(argc, argv); }
