#include "platform/qt/qt_screen.h"

#include <QGuiApplication>
#include <QScreen>

#include "base/twips.h"

namespace plenova::platform {

namespace {

constinit ServiceSlot<ScreenService> screenSlot{&MakeService<ScreenService, FixedScreen>};

std::int32_t TwipsPerPixel(double dpi) {
    // A screen that reports no sensible density is taken at the classic 96 dpi.
    if (!(dpi >= 1.0 && dpi <= 10000.0)) dpi = 96.0;
    const Int32 twips = TwipsPerPixelForDpi(dpi);
    return twips < 1 ? 1 : twips;
}

}  // namespace

ScreenService& Screen() { return screenSlot.Get(); }

std::shared_ptr<ScreenService> SetScreenService(std::shared_ptr<ScreenService> service) {
    return screenSlot.Set(std::move(service));
}

ScreenMetrics QtScreen::Metrics() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return {};
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    ScreenMetrics m;
    const QSize size = screen->size();
    m.widthPixels = size.width();
    m.heightPixels = size.height();
    m.twipsPerPixelX = TwipsPerPixel(screen->logicalDotsPerInchX());
    m.twipsPerPixelY = TwipsPerPixel(screen->logicalDotsPerInchY());
    return m;
}

}  // namespace plenova::platform
