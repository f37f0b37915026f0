# The screen-saver host's decisions (plenova-machine host), without a desktop.
add_executable(host_logic_tests host_logic_test.cpp)
target_link_libraries(host_logic_tests PRIVATE plenova_host_logic plenova_warnings GTest::gtest_main)
set_target_properties(host_logic_tests PROPERTIES AUTOMOC OFF)
gtest_discover_tests(host_logic_tests)
