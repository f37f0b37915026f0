# plenova_platform_gdi: palettes, drawing contexts and 8-bit surfaces in software.
add_library(plenova_platform_gdi STATIC ${CMAKE_CURRENT_LIST_DIR}/gdi.cpp
            ${CMAKE_CURRENT_LIST_DIR}/posix/large_memory.cpp)
target_include_directories(plenova_platform_gdi PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(plenova_platform_gdi PUBLIC plenova_base PRIVATE plenova_warnings)
