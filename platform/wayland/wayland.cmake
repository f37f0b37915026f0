# Wayland back end: the idle protocols, with their client bindings generated at build time by
# wayland-scanner from the XML files of wayland-protocols and plasma-wayland-protocols.
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
find_path(PLASMA_WAYLAND_PROTOCOLS_DIR idle.xml
          PATHS /usr/share/plasma-wayland-protocols REQUIRED NO_DEFAULT_PATH)
if(NOT WAYLAND_PROTOCOLS_DIR)
  message(FATAL_ERROR "wayland-protocols is missing (scripts/install-deps.sh installs it)")
endif()

set(plenova_wayland_generated "${CMAKE_CURRENT_BINARY_DIR}/wayland")
set(PLENOVA_PLATFORM_WAYLAND_SOURCES ${CMAKE_CURRENT_LIST_DIR}/wayland_idle.cpp)
set(PLENOVA_PLATFORM_WAYLAND_GENERATED "")
foreach(protocol
    "${WAYLAND_PROTOCOLS_DIR}/staging/ext-idle-notify/ext-idle-notify-v1.xml"
    "${PLASMA_WAYLAND_PROTOCOLS_DIR}/idle.xml")
  get_filename_component(name "${protocol}" NAME_WE)
  add_custom_command(
    OUTPUT "${plenova_wayland_generated}/${name}-client-protocol.h"
           "${plenova_wayland_generated}/${name}-protocol.c"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${plenova_wayland_generated}"
    COMMAND "${WAYLAND_SCANNER}" client-header "${protocol}"
            "${plenova_wayland_generated}/${name}-client-protocol.h"
    COMMAND "${WAYLAND_SCANNER}" private-code "${protocol}"
            "${plenova_wayland_generated}/${name}-protocol.c"
    DEPENDS "${protocol}"
    COMMENT "Generating the Wayland bindings of ${name}"
    VERBATIM)
  list(APPEND PLENOVA_PLATFORM_WAYLAND_GENERATED
       "${plenova_wayland_generated}/${name}-client-protocol.h"
       "${plenova_wayland_generated}/${name}-protocol.c")
endforeach()
set(PLENOVA_PLATFORM_WAYLAND_INCLUDE "${plenova_wayland_generated}")
