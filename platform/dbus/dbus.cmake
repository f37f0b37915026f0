# D-Bus back end (Qt D-Bus): GNOME's idle monitor and session manager, and our own
# org.freedesktop.ScreenSaver service. A source list for plenova_platform_idle.
find_package(Qt6 REQUIRED COMPONENTS DBus)
set(PLENOVA_PLATFORM_DBUS_SOURCES ${CMAKE_CURRENT_LIST_DIR}/dbus_idle.cpp)
