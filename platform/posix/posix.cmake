# POSIX back end: descriptors, files and folders, processes, locks, signals and the code page
# conversion (iconv). Source lists for the platform libraries that need them; the service
# headers they implement are in platform/.
set(PLENOVA_PLATFORM_POSIX_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/text_conversion_iconv.cpp
)
set(PLENOVA_PLATFORM_POSIX_MACHINE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/desktop_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/child_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/child_program.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_copy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_io.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/machine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/machine_listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/program_wait.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shared_library.cpp
)
set(PLENOVA_PLATFORM_POSIX_DESKTOP_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/end_signals.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_end.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_presence.cpp
)
