# The setup program on long lists and oversize scripts: time per entry against cp -r.
add_executable(setup_list_bench ${CMAKE_CURRENT_LIST_DIR}/setup_list_bench.cpp)
target_link_libraries(setup_list_bench PRIVATE plenova_setup_logic plenova_warnings
                      benchmark::benchmark)
set_target_properties(setup_list_bench PROPERTIES AUTOMOC OFF)
target_compile_definitions(setup_list_bench PRIVATE PLENOVA_TAVORIN="$<TARGET_FILE:tavorin>")
add_dependencies(setup_list_bench tavorin)
