# Speed of the settings store (every read goes to the hive file) and of path mapping.
add_executable(machine_bench ${CMAKE_CURRENT_LIST_DIR}/settings_store_bench.cpp)
target_link_libraries(machine_bench PRIVATE plenova_platform_machine plenova_warnings benchmark::benchmark)
set_target_properties(machine_bench PROPERTIES AUTOMOC OFF)
