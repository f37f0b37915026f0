// PlenovaSetup.exe: the setup program. Its command line is the text after the program's name:
// the machine's StartProcess passes it as one argument; several arguments (a shell's split of
// the same text) are joined with single blanks.
//
// With PLENOVA_SETUP_ANSWERS naming an answers file (scripted_windows.h) the program runs
// without a desktop: its windows are the scripted stand-ins and its message boxes are answered
// from the file and written to standard error.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "base/errors.h"
#include "base/text.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "setup/module1.h"
#include "setup/scripted_windows.h"
#include "setup/support_library.h"

namespace {

constexpr const char* kTitle = "PlenovaSetup";

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
        std::fprintf(stderr,
                     "PlenovaSetup: the windowed setup is not available yet; set "
                     "PLENOVA_SETUP_ANSWERS to an answers file to run it without windows.\n");
        return 1;
    }
    std::ifstream in(answersPath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "PlenovaSetup: cannot read the answers file %s\n", answersPath);
        return 2;
    }
    // An answers file is a few lines; a larger one is not an answers file.
    constexpr std::size_t kMaxAnswersBytes = 1 << 20;
    std::string text;
    text.resize(kMaxAnswersBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxAnswersBytes) {
        std::fprintf(stderr, "PlenovaSetup: the answers file %s is too large\n", answersPath);
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
    setup::SupportLibrary supportLibrary;
    setup::Module1 module(windows, supportLibrary);
    try {
        module.Main(commandLine);
    } catch (const setup::SupportLibraryError& error) {
        platform::ShowMessage(error.what(), kTitle, platform::MsgButtons::Ok,
                              platform::MsgIcon::Exclamation);
        platform::EndProcess(1);
    } catch (const RuntimeError& error) {
        // A run-time error that no step takes ends the program with its number and text.
        platform::ShowMessage("実行時エラー '" + ToText(error.Number()) + "':\n\n" + error.what(),
                              kTitle, platform::MsgButtons::Ok, platform::MsgIcon::Critical);
        platform::EndProcess(1);
    } catch (const std::exception& error) {
        platform::ShowMessage(error.what(), kTitle, platform::MsgButtons::Ok,
                              platform::MsgIcon::Critical);
        platform::EndProcess(1);
    }
}
