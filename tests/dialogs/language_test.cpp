// Message boxes speak the desktop's language on their standard buttons (Qt's own translations,
// loaded with the desktop services), while the programs' texts stay Japanese. Each language
// runs in a child process of its own, since a process takes its language once, at start.
#include <cstdio>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/desktop_services.h"
#include "platform/message_box.h"
#include "tests/support/process.h"

namespace {

constexpr const char* kShowBox = "--show-box";

// The child: shows a Yes/No box through the real services, writes its buttons' texts (the
// mnemonic marks dropped) one a line, and answers No.
int ShowBox(char* program) {
    static int qtArgc = 1;
    char* qtArgv[] = {program, nullptr};
    QApplication application(qtArgc, qtArgv);
    plenova::platform::InstallDesktopServices("PlenovaSaver");
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) QCoreApplication::exit(3);
        for (QAbstractButton* button : box->buttons()) {
            std::printf("%s\n", button->text().remove(QLatin1Char('&')).toStdString().c_str());
        }
        box->button(QMessageBox::No)->click();
    });
    const plenova::platform::MsgResult answer = plenova::platform::ShowMessage(
        "終了しますか", "PlenovaSaver", plenova::platform::MsgButtons::YesNo,
        plenova::platform::MsgIcon::Question);
    return answer == plenova::platform::MsgResult::No ? 0 : 4;
}

std::string self;

std::string ButtonsUnder(const std::string& lang) {
    const plenova::testing::Finished run = plenova::testing::RunToEnd(
        {"env", "-u", "LC_ALL", "-u", "LC_MESSAGES", "-u", "LANGUAGE", "LANG=" + lang,
         "QT_QPA_PLATFORM=offscreen", "PLENOVA_AUDIO=none", self, kShowBox},
        plenova::testing::Capture::kOutputOnly);
    EXPECT_EQ(run.exitCode, 0) << lang;
    return run.output;
}

TEST(MessageBoxLanguage, StandardButtonsFollowTheDesktopsLanguage) {
    const std::string japanese = ButtonsUnder("ja_JP.UTF-8");
    EXPECT_NE(japanese.find("はい"), std::string::npos) << japanese;
    EXPECT_NE(japanese.find("いいえ"), std::string::npos) << japanese;
    const std::string english = ButtonsUnder("en_US.UTF-8");
    EXPECT_NE(english.find("Yes\n"), std::string::npos) << english;
    EXPECT_NE(english.find("No\n"), std::string::npos) << english;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == kShowBox) return ShowBox(argv[0]);
    self = argv[0];
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
