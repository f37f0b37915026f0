// plenova-machine desk: the screen-saver page of Display Properties (desk_page.h) in a window
// of its own, in the desktop's language (English, or Japanese).
#include <QApplication>
#include <QLocale>
#include <QTranslator>

#include "platform/desktop_services.h"
#include "platform/end_signals.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/window_system.h"
#include "tools/plenova_machine/desk_page.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {

int DeskCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("desk takes no arguments");
    // The saver's preview draws into an X11 window: in a Wayland session the page goes through
    // XWayland where there is one.
    platform::PreferX11ForEmbedding();
    int argc = 1;
    char name[] = "plenova-machine";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    platform::InstallQtTranslations();
    QTranslator ownTexts;
    if (ownTexts.load(QLocale(), QStringLiteral("plenova_desk"), QStringLiteral("_"),
                      QStringLiteral(":/i18n")))
        QApplication::installTranslator(&ownTexts);
    platform::Machine& machine = platform::CurrentMachine();
    platform::Registry registry(machine);
    DeskPage page(machine, registry);
    // Ended by a signal, the page ends its preview first.
    platform::EndSignalWatch endSignals([&](int) { page.reject(); QApplication::quit(); });
    page.show();
    QApplication::exec();
    return kOk;
}

}  // namespace plenova::machine_tool
