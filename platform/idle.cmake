# plenova_platform_idle: what the screen-saver host watches (idle time, inhibitors), from the
# X11, Wayland and D-Bus back ends, chosen at run time (idle.h).
pkg_check_modules(XCB_SCREENSAVER REQUIRED IMPORTED_TARGET xcb xcb-screensaver)

# The generated bindings are C from wayland-scanner, built without our warnings.
add_library(plenova_wayland_bindings OBJECT ${PLENOVA_PLATFORM_WAYLAND_GENERATED})
target_link_libraries(plenova_wayland_bindings PRIVATE PkgConfig::WAYLAND_CLIENT)
set_target_properties(plenova_wayland_bindings PROPERTIES AUTOMOC OFF)

add_library(plenova_platform_idle STATIC
  ${CMAKE_CURRENT_LIST_DIR}/idle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/x11/x11_idle.cpp
  ${PLENOVA_PLATFORM_WAYLAND_SOURCES}
  ${PLENOVA_PLATFORM_DBUS_SOURCES}
  $<TARGET_OBJECTS:plenova_wayland_bindings>
)
target_include_directories(plenova_platform_idle
  PUBLIC "${PROJECT_SOURCE_DIR}" PRIVATE "${PLENOVA_PLATFORM_WAYLAND_INCLUDE}")
target_link_libraries(plenova_platform_idle
  PUBLIC plenova_base
  PRIVATE Qt6::DBus PkgConfig::XCB_SCREENSAVER PkgConfig::WAYLAND_CLIENT plenova_warnings)
set_target_properties(plenova_platform_idle PROPERTIES AUTOMOC OFF)
