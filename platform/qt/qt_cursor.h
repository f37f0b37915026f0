// The real cursor service, on Qt.
#pragma once

#include "platform/cursor.h"

namespace plenova::platform {

// Real service: QCursor::pos() in Qt's logical screen pixels. Needs a QGuiApplication.
class QtCursor : public CursorService {
public:
    ScreenPoint Position() override;
};

}  // namespace plenova::platform
