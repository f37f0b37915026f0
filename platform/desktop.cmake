# plenova_platform_desktop: the Qt half of the platform layer (window presence, message boxes,
# process end, cursor, screen, events, window operations, multimedia command service).
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)

add_library(plenova_platform_desktop STATIC
  ${CMAKE_CURRENT_LIST_DIR}/audio_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cursor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/end_signals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/multimedia.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_end.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_message_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_presence.cpp
)
target_include_directories(plenova_platform_desktop PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(plenova_platform_desktop
  PUBLIC plenova_platform_core Qt6::Widgets Qt6::Multimedia
  PRIVATE PkgConfig::SNDFILE PkgConfig::XCB plenova_warnings)
# Sound files are opened through the machine's file service (Windows paths).
if(TARGET plenova_platform_machine)
  target_link_libraries(plenova_platform_desktop PUBLIC plenova_platform_machine)
endif()
