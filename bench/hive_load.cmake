# Time and peak memory of loading large hives of every shape.
add_executable(hive_load_bench ${CMAKE_CURRENT_LIST_DIR}/hive_load_bench.cpp)
target_link_libraries(hive_load_bench PRIVATE plenova_platform_machine plenova_warnings
                      benchmark::benchmark)
set_target_properties(hive_load_bench PROPERTIES AUTOMOC OFF)
