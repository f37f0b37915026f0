#include "platform/events.h"

#include <QCoreApplication>

namespace plenova::platform {

void DoEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

void PostQuit(int exitCode) {
    // exit() on the application object only sets the loop's end; it returns at once, as a posted
    // quit message does.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, [exitCode] { QCoreApplication::exit(exitCode); },
                                  Qt::QueuedConnection);
    }
}

}  // namespace plenova::platform
