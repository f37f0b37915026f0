# The screen-saver host's decisions (plenova-machine host), without a desktop.
add_executable(host_logic_tests host_logic_test.cpp)
target_link_libraries(host_logic_tests PRIVATE plenova_host_logic plenova_warnings GTest::gtest_main)
set_target_properties(host_logic_tests PROPERTIES AUTOMOC OFF)
gtest_discover_tests(host_logic_tests)

# The screen-saver page of Display Properties (plenova-machine desk), offscreen.
add_executable(desk_page_tests desk_page_test.cpp)
target_link_libraries(desk_page_tests PRIVATE plenova_desk_page plenova_test_support
                      plenova_warnings GTest::gtest)
set_target_properties(desk_page_tests PROPERTIES AUTOMOC OFF)
gtest_discover_tests(desk_page_tests)
