#include "platform/qt/qt_window_system.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QtGlobal>

namespace plenova::platform {

namespace {

constinit ServiceSlot<WindowSystemService> windowSystemSlot{
    &MakeService<WindowSystemService, FixedWindowSystem>};

}  // namespace

WindowSystemService& WindowSystem() { return windowSystemSlot.Get(); }

std::shared_ptr<WindowSystemService> SetWindowSystemService(
    std::shared_ptr<WindowSystemService> service) {
    return windowSystemSlot.Set(std::move(service));
}

bool QtWindowSystem::ProgramsPlaceWindows() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return true;
    // "wayland", "wayland-egl", "wayland-generic".
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void PreferX11ForEmbedding() {
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    if (!chosen.isEmpty() && !chosen.startsWith("wayland")) return;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
    qputenv("QT_QPA_PLATFORM", "xcb");
}

}  // namespace plenova::platform
