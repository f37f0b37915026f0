# plenova_platform_x11: operations on foreign windows (a host window given by id, the root
# window) through Qt's own xcb connection, and the server-kept window picture (server_image.h)
# on a connection of its own with MIT-SHM. The only part of the project that links xcb.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-shm)

add_library(plenova_platform_x11 STATIC ${CMAKE_CURRENT_LIST_DIR}/window_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/server_image.cpp)
target_include_directories(plenova_platform_x11 PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(plenova_platform_x11
  PUBLIC plenova_platform_core plenova_platform_gdi Qt6::Widgets
  PRIVATE PkgConfig::XCB plenova_warnings)
