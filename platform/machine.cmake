# plenova_platform_machine: the emulated Windows machine (drives, path mapping, files and
# folders, processes), the registry hives and the settings store. No Qt.
add_library(plenova_platform_machine STATIC
  ${CMAKE_CURRENT_LIST_DIR}/machine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/posix/file_io.cpp
)
target_include_directories(plenova_platform_machine PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(plenova_platform_machine
  PUBLIC plenova_platform_core plenova_base
  PRIVATE plenova_warnings)
set_target_properties(plenova_platform_machine PROPERTIES AUTOMOC OFF)
