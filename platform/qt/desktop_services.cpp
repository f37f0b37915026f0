#include "platform/desktop_services.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/cursor.h"
#include "platform/multimedia.h"
#include "platform/process_end.h"
#include "platform/qt/qt_cursor.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_screen.h"
#include "platform/qt/qt_window_system.h"
#include "platform/screen.h"

namespace plenova::platform {

void InstallQtTranslations() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) return;
    auto* translator = new QTranslator(application);
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

void InstallDesktopServices(const std::string& programName) {
    InstallQtTranslations();
    SetMessageBoxes(std::make_shared<QtMessageBoxes>());
    SetProcessEnd(std::make_shared<ImmediateProcessEnd>());
    SetCursorService(std::make_shared<QtCursor>());
    SetScreenService(std::make_shared<QtScreen>());
    SetWindowSystemService(std::make_shared<QtWindowSystem>());
    SetAudioBackend(AudioBackendFromEnvironment());
    Multimedia().SetReportCaption(programName);
}

}  // namespace plenova::platform
