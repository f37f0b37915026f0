// PlenovaSetup.exe: the setup program. Its command line is the text after the program's name:
// the machine's StartProcess passes it as one argument; several arguments (a shell's split of
// the same text) are joined with single blanks.
//
// Its windows are Qt widgets (qt_setup_windows.h) with QMessageBox message boxes. With
// PLENOVA_SETUP_ANSWERS naming an answers file (scripted_windows.h) it runs without a desktop
// instead: its windows are the scripted stand-ins and its message boxes are answered from the
// file and written to standard error.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <span>
#include <string>

#include <QApplication>

#include "base/text.h"
#include "forms/form_support.h"
#include "platform/desktop_services.h"
#include "platform/file_io.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "setup/module1.h"
#include "setup/qt_setup_windows.h"
#include "setup/scripted_windows.h"
#include "setup/support_library.h"

namespace {

constexpr const char* kTitle = "PlenovaSetup";

std::string ArgumentText(int argc, char** argv) {
    return plenova::JoinWithBlanks(std::span<char* const>(argv + 1, argc > 1 ? argc - 1 : 0));
}

// Runs the setup program's logic with these windows; never returns (every mode ends the
// process).
[[noreturn]] void RunSetup(plenova::setup::SetupWindows& windows,
                           plenova::setup::QtSetupWindows* qtWindows,
                           const std::string& commandLine) {
    using namespace plenova;
    setup::SupportLibrary supportLibrary;
    setup::Module1 module(windows, supportLibrary);
    if (qtWindows != nullptr) qtWindows->Attach(module);
    try {
        module.Main(commandLine);
    } catch (const setup::SupportLibraryError& error) {
        platform::ShowMessage(error.what(), kTitle, platform::MsgButtons::Ok,
                              platform::MsgIcon::Exclamation);
    } catch (const std::exception& error) {
        platform::ShowUnhandledError(error, kTitle);
    }
    platform::EndProcess(1);
    std::abort();  // EndProcess does not return
}

}  // namespace

int main(int argc, char** argv) {
    using namespace plenova;
    const std::string commandLine = ArgumentText(argc, argv);

    // "The next start of the system" is the start of any of the machine's programs.
    try {
        platform::CurrentMachine().RunBootStep();
    } catch (const std::exception&) {
        // A machine that cannot be opened shows up where the setup first needs it.
    }

    const char* answersPath = std::getenv("PLENOVA_SETUP_ANSWERS");
    if (answersPath == nullptr || *answersPath == '\0') {
        static int qtArgc = 1;
        QApplication application(qtArgc, argv);
        QApplication::setApplicationName(QString::fromUtf8(kTitle));
        platform::InstallDesktopServices(kTitle);
        forms::InstallFontSubstitutes();
        QApplication::setWindowIcon(forms::ProgramIcon());
        setup::QtSetupWindows windows;
        RunSetup(windows, &windows, commandLine);
    }
    // An answers file is a few lines; a larger one is not an answers file.
    constexpr std::size_t kMaxAnswersBytes = 1 << 20;
    std::string text;
    try {
        text = platform::ReadFileLimited(answersPath, kMaxAnswersBytes);
    } catch (const platform::FileError& error) {
        std::fprintf(stderr, "PlenovaSetup: the answers file cannot be used: %s\n", error.what());
        return 2;
    }
    setup::SetupAnswers answers;
    try {
        answers = setup::SetupAnswers::Parse(text);
    } catch (const setup::AnswersError& error) {
        std::fprintf(stderr, "PlenovaSetup: %s: %s\n", answersPath, error.what());
        return 2;
    }
    platform::SetMessageBoxes(std::make_shared<setup::AnsweredMessageBoxes>(answers.boxes));

    setup::ScriptedWindows windows(answers);
    RunSetup(windows, nullptr, commandLine);
}
