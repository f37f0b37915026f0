# Tests of the shell link format and of the desktop menu made from the machine's Start menu.
add_executable(platform_menu_tests
  ${CMAKE_CURRENT_LIST_DIR}/shell_link_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_menu_test.cpp
)
target_link_libraries(platform_menu_tests PRIVATE plenova_platform_machine plenova_test_support
                      plenova_warnings GTest::gtest_main)
set_target_properties(platform_menu_tests PROPERTIES AUTOMOC OFF)
target_compile_definitions(platform_menu_tests PRIVATE
  PLENOVA_MACHINE_TOOL="$<TARGET_FILE:plenova-machine>")
gtest_discover_tests(platform_menu_tests)
