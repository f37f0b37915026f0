# bmpinfo: reads a BMP file through the engine's reader and prints what it found.
add_executable(bmpinfo ${CMAKE_CURRENT_LIST_DIR}/bmpinfo/main.cpp)
target_link_libraries(bmpinfo PRIVATE plenova_engine plenova_warnings)
set_target_properties(bmpinfo PROPERTIES AUTOMOC OFF)
