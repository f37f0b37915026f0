// The real screen service, on Qt.
#pragma once

#include "platform/screen.h"

namespace plenova::platform {

// Real service: size of the primary QScreen in Qt's logical pixels; twips per pixel per axis =
// 1440 / logical dots per inch of that axis, rounded half to even (96 dpi gives 15). Without a
// QGuiApplication or a screen it answers the FixedScreen defaults.
class QtScreen : public ScreenService {
public:
    ScreenMetrics Metrics() override;
};

}  // namespace plenova::platform
