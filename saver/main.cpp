// PlenovaSaver: the screen saver program ("PlenovaSaver.scr").
//
// The command line after the program's name is the argument text of the start-up module: the
// arguments joined with single blanks, as the host's command line "/p 1234" arrives as two
// arguments. The arguments are the saver's alone: Qt is given none of them, so no switch can be
// taken for a Qt option.
//
// Command lines that start with "-" are the hack mode's (saver/hack_mode.h): the program as a
// screen-saver daemon's hack, a preview in a foreign window, or a window of its own. Started
// by the command's name "plenova-saver" without arguments, it opens the scene in a window of
// its own, as its usage text says; as "PlenovaSaver.scr" an empty command line opens nothing,
// like any other command line without a switch.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include <QApplication>

#include "base/text.h"
#include "dialogs/saver_names.h"
#include "forms/form_support.h"
#include "platform/desktop_services.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/window_system.h"
#include "saver/hack_mode.h"
#include "saver/scr.h"
#include "saver/xscreensaver_install.h"

namespace {

// The name of the command on the PATH (a link to this program).
constexpr const char* kCommandName = "plenova-saver";

std::string ArgumentText(int argc, char** argv) {
    return plenova::JoinWithBlanks(std::span<char* const>(argv + 1, argc > 1 ? argc - 1 : 0));
}

// The program file itself (the hack mode finds its data from there).
std::filesystem::path ProgramFile(const char* argv0) {
    std::filesystem::path self = plenova::platform::ProgramHostFile();
    std::error_code error;
    if (self.empty()) self = std::filesystem::absolute(argv0, error);
    return self;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string argumentText = ArgumentText(argc, argv);
    using namespace plenova::saver;
    Hack::Parsed hack = Hack::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    const std::string programName = std::filesystem::path(argv[0]).filename().string();
    if (programName == kCommandName && plenova::Trim(argumentText).empty()) {
        hack.kind = Hack::Parsed::Kind::Run;
        hack.options = Hack::Options{};
    }
    if (hack.kind == Hack::Parsed::Kind::XScreenSaverInstall) {
        return XScreenSaverInstall::Run(ProgramFile(argv[0]));
    }
    if (hack.kind == Hack::Parsed::Kind::Help) {
        std::fputs(Hack::UsageText(programName).c_str(), stdout);
        return 0;
    }
    if (hack.kind == Hack::Parsed::Kind::Usage) {
        std::fprintf(stderr, "%s: %s\n%s", programName.c_str(), hack.problem.c_str(),
                     Hack::UsageText(programName).c_str());
        return 2;
    }

    // Embedding into another program's window is X11's: in a Wayland session, XWayland's.
    const std::string switchText = SCR::SwitchOf(argumentText);
    if (switchText == "/p" || switchText == "/P" ||
        (hack.kind == Hack::Parsed::Kind::Run && hack.options.target != Hack::Target::Window)) {
        plenova::platform::PreferX11ForEmbedding();
    }
    static int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("PlenovaSaver"));
    plenova::platform::InstallDesktopServices(plenova::dialogs::kProgramTitle);
    plenova::forms::InstallFontSubstitutes();
    // The installed data: where "App"/"Dir" is unset, start-up takes the data from there, and
    // every window shows the program's icon from the start.
    const std::filesystem::path programFile = ProgramFile(argv[0]);
    if (const auto installed = Hack::InstalledDataFolder(programFile)) {
        SCR::installedDataDir = Hack::MachineFolderName(*installed);
    }
    {
        std::vector<std::string> folders;
        try {
            folders.push_back(plenova::platform::CurrentMachine().ProgramFolder());
        } catch (const std::exception&) {
        }
        if (!SCR::installedDataDir.empty()) folders.push_back(SCR::installedDataDir);
        plenova::forms::SetResourceFolders(std::move(folders));
        QApplication::setWindowIcon(plenova::forms::ProgramIcon());
    }
    // "The next start of the system" is the start of any of the machine's programs.
    try {
        plenova::platform::CurrentMachine().RunBootStep();
    } catch (const std::exception&) {
        // A machine that cannot be opened shows up where the saver first needs it.
    }

    int exitCode = 0;
    try {
        if (hack.kind == Hack::Parsed::Kind::Run) {
            if (Hack::Run(hack.options, programFile)) {
                QApplication::exec();
            } else {
                exitCode = 1;
            }
        } else {
            SCR::Main(argumentText);
            // The data folder is known now, and with it the icon file of an installed copy.
            QApplication::setWindowIcon(plenova::forms::ProgramIcon());
            if (SCR::AnyWindowLoaded()) QApplication::exec();
        }
    } catch (const std::exception& error) {
        plenova::platform::ShowUnhandledError(error, plenova::dialogs::kProgramTitle);
        plenova::platform::EndProcess(1);
    }
    // The windows go before the application object that they need.
    Hack::Reset();
    SCR::ResetGlobals();
    return exitCode;
}
