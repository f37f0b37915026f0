# Qt back end: message boxes, cursor, screen, event loop and the audio device (QAudioSink).
# A source list for plenova_platform_desktop; the service headers are in platform/.
set(PLENOVA_PLATFORM_QT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/audio_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cursor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/panel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_message_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_system.cpp
)
