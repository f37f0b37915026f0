// PlenovaSaver: the screen saver program ("PlenovaSaver.scr").
//
// The command line after the program's name is the argument text of the start-up module: the
// arguments joined with single blanks, as the host's command line "/p 1234" arrives as two
// arguments. The arguments are the saver's alone: Qt is given none of them, so no switch can be
// taken for a Qt option.
#include <exception>
#include <string>

#include <QApplication>

#include "base/errors.h"
#include "base/text.h"
#include "dialogs/form_support.h"
#include "platform/desktop_services.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "saver/scr.h"

namespace {

std::string ArgumentText(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string argumentText = ArgumentText(argc, argv);

    static int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("PlenovaSaver"));
    plenova::platform::InstallDesktopServices(plenova::dialogs::kProgramTitle);
    plenova::dialogs::InstallFontSubstitutes();
    // "The next start of the system" is the start of any of the machine's programs.
    try {
        plenova::platform::CurrentMachine().RunBootStep();
    } catch (const std::exception&) {
        // A machine that cannot be opened shows up where the saver first needs it.
    }

    using namespace plenova::saver;
    try {
        SCR::Main(argumentText);
        if (SCR::AnyWindowLoaded()) QApplication::exec();
    } catch (const plenova::RuntimeError& error) {
        // A run-time error that no handler takes ends the program with its number and text.
        plenova::platform::ShowMessage("実行時エラー '" + plenova::ToText(error.Number()) +
                                           "':\n\n" + error.what(),
                                       plenova::dialogs::kProgramTitle,
                                       plenova::platform::MsgButtons::Ok,
                                       plenova::platform::MsgIcon::Critical);
        plenova::platform::EndProcess(1);
    } catch (const std::exception& error) {
        plenova::platform::ShowMessage(error.what(), plenova::dialogs::kProgramTitle,
                                       plenova::platform::MsgButtons::Ok,
                                       plenova::platform::MsgIcon::Critical);
        plenova::platform::EndProcess(1);
    }
    // The windows go before the application object that they need.
    SCR::ResetGlobals();
    return 0;
}
