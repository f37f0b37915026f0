# plenova-machine: registry, path and drive tool for the emulated Windows machine; one unit per
# verb group.
add_executable(plenova-machine
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/machine_tool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/reg_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/drive_path_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/run_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/uninstall_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/menu_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/host_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/desk_command.cpp
)
# The screen-saver host's decisions, apart from the desktop, for the tool and its tests.
add_library(plenova_host_logic STATIC ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/host_logic.cpp)
target_include_directories(plenova_host_logic PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(plenova_host_logic PUBLIC plenova_base PRIVATE plenova_warnings)
set_target_properties(plenova_host_logic PROPERTIES AUTOMOC OFF)
# The screen-saver page of Display Properties (desk), for the tool and its test.
add_library(plenova_desk_page STATIC
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/desk_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/program_folder.cpp)
target_include_directories(plenova_desk_page PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(plenova_desk_page
  PUBLIC plenova_platform_machine plenova_host_logic Qt6::Widgets
  PRIVATE plenova_assets plenova_warnings)
set_target_properties(plenova_desk_page PROPERTIES AUTOMOC OFF)
target_link_libraries(plenova-machine PRIVATE plenova_platform_machine plenova_host_logic
                      plenova_desk_page plenova_platform_idle plenova_platform_desktop
                      plenova_warnings)
# The page's texts are English; their Japanese translation is built in as a resource
# (:/i18n/plenova_desk_ja.qm) and chosen by the locale.
find_package(Qt6 REQUIRED COMPONENTS LinguistTools)
qt_add_translations(plenova-machine
  TS_FILES ${CMAKE_CURRENT_LIST_DIR}/plenova_machine/translations/plenova_desk_ja.ts
  RESOURCE_PREFIX /i18n)
set_target_properties(plenova-machine PROPERTIES
  AUTOMOC OFF
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
