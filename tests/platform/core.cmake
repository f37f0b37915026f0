add_executable(platform_core_tests ${CMAKE_CURRENT_LIST_DIR}/message_box_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/random_test.cpp ${CMAKE_CURRENT_LIST_DIR}/service_slot_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_conversion_test.cpp)
target_link_libraries(platform_core_tests PRIVATE plenova_platform_core plenova_warnings GTest::gtest_main)
gtest_discover_tests(platform_core_tests)
