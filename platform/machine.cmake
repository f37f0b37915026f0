# plenova_platform_machine: the emulated Windows machine (drives, path mapping, files and
# folders, processes), the registry hives, the settings store, shell links and the desktop menu
# made from them. No Qt.
# Files, folders and processes themselves come from the POSIX back end; the text formats of the
# hives, the drive table and WININIT.INI from plenova_platform_core.
add_library(plenova_platform_machine STATIC
  ${CMAKE_CURRENT_LIST_DIR}/registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell_link.cpp
  ${PLENOVA_PLATFORM_POSIX_MACHINE_SOURCES}
)
target_include_directories(plenova_platform_machine PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(plenova_platform_machine
  PUBLIC plenova_platform_core plenova_base
  PRIVATE plenova_warnings ${CMAKE_DL_LIBS})
set_target_properties(plenova_platform_machine PROPERTIES AUTOMOC OFF)
