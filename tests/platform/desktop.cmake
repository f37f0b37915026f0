# Desktop platform: services on Qt's offscreen platform, the multimedia command service, and
# foreign-window operations against a real X server (Xvfb).
add_executable(platform_desktop_tests ${CMAKE_CURRENT_LIST_DIR}/desktop_services_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/end_signals_test.cpp)
target_link_libraries(platform_desktop_tests PRIVATE plenova_platform_desktop plenova_test_support
                      plenova_warnings GTest::gtest)
gtest_discover_tests(platform_desktop_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(platform_multimedia_tests ${CMAKE_CURRENT_LIST_DIR}/multimedia_test.cpp)
target_link_libraries(platform_multimedia_tests PRIVATE plenova_platform_desktop plenova_test_support
                      plenova_warnings PkgConfig::SNDFILE GTest::gtest)
gtest_discover_tests(platform_multimedia_tests
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PLENOVA_AUDIO=none")

find_package(X11 REQUIRED)
find_program(XVFB Xvfb)
add_executable(platform_desktop_x11_tests ${CMAKE_CURRENT_LIST_DIR}/desktop_x11_test.cpp)
target_link_libraries(platform_desktop_x11_tests PRIVATE plenova_platform_desktop plenova_warnings
                      X11::X11 GTest::gtest)
if(XVFB)
  # One X server for the whole program: the cases share Qt's one connection to it.
  add_test(NAME platform_desktop_x11_tests
           COMMAND plenova_xvfb_run $<TARGET_FILE:platform_desktop_x11_tests>)
  set_tests_properties(platform_desktop_x11_tests PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 120)
endif()
