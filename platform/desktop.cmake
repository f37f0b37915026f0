# plenova_platform_desktop: the desktop half of the platform layer (window presence, message
# boxes, process end, cursor, screen, events, window operations, multimedia command service).
# The portable parts are here (multimedia command interpreter, sound file decoding with
# libsndfile, the test and silent audio back ends); the rest comes from the Qt and POSIX back
# ends, and window operations from the X11 one.
add_library(plenova_platform_desktop STATIC
  ${CMAKE_CURRENT_LIST_DIR}/audio_backends.cpp
  ${CMAKE_CURRENT_LIST_DIR}/multimedia.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_decoding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_audio.cpp
  ${PLENOVA_PLATFORM_QT_SOURCES}
  ${PLENOVA_PLATFORM_POSIX_DESKTOP_SOURCES}
)
target_include_directories(plenova_platform_desktop PUBLIC "${PROJECT_SOURCE_DIR}")
# Sound files are opened through the machine's file service (Windows paths).
target_link_libraries(plenova_platform_desktop
  PUBLIC plenova_platform_core plenova_platform_machine plenova_platform_x11 Qt6::Widgets
         Qt6::Multimedia
  PRIVATE PkgConfig::SNDFILE plenova_warnings)
