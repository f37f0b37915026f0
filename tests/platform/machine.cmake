# Tests of the emulated machine, the registry, the settings store and the plenova-machine tool.
# Each test makes its own machine in a temporary folder.
add_executable(registry_writer_helper ${CMAKE_CURRENT_LIST_DIR}/registry_writer_helper.cpp)
target_link_libraries(registry_writer_helper PRIVATE plenova_platform_machine plenova_warnings)
set_target_properties(registry_writer_helper PROPERTIES AUTOMOC OFF)

add_executable(platform_machine_tests
  ${CMAKE_CURRENT_LIST_DIR}/machine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_hostile_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_processes_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_store_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/machine_tool_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_io_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/machine_hostile_test.cpp
)
target_link_libraries(platform_machine_tests PRIVATE plenova_platform_machine plenova_test_support
                      plenova_warnings GTest::gtest_main)
set_target_properties(platform_machine_tests PROPERTIES AUTOMOC OFF)
target_compile_definitions(platform_machine_tests PRIVATE
  PLENOVA_WRITER_HELPER="$<TARGET_FILE:registry_writer_helper>"
  PLENOVA_MACHINE_TOOL="$<TARGET_FILE:plenova-machine>")
add_dependencies(platform_machine_tests registry_writer_helper plenova-machine)
gtest_discover_tests(platform_machine_tests)
