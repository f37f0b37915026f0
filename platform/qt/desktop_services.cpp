#include "platform/desktop_services.h"

#include <memory>

#include "platform/cursor.h"
#include "platform/multimedia.h"
#include "platform/process_end.h"
#include "platform/qt_message_box.h"
#include "platform/screen.h"

namespace plenova::platform {

void InstallDesktopServices(const std::string& programName) {
    SetMessageBoxes(std::make_shared<QtMessageBoxes>());
    SetProcessEnd(std::make_shared<ImmediateProcessEnd>());
    SetCursorService(std::make_shared<QtCursor>());
    SetScreenService(std::make_shared<QtScreen>());
    SetAudioBackend(AudioBackendFromEnvironment());
    Multimedia().SetReportCaption(programName);
}

}  // namespace plenova::platform
