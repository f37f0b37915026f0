# plenova_platform_x11: operations on foreign windows (a host window given by id, the root
# window) through Qt's own xcb connection. The only part of the project that links xcb.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)

add_library(plenova_platform_x11 STATIC ${CMAKE_CURRENT_LIST_DIR}/window_ops.cpp)
target_include_directories(plenova_platform_x11 PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(plenova_platform_x11
  PUBLIC plenova_platform_core Qt6::Widgets
  PRIVATE PkgConfig::XCB plenova_warnings)
