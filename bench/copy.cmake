# Copy speed of the setup program: CopyOneFile against cp, and the event pump's cost per block.
add_executable(copy_bench ${CMAKE_CURRENT_LIST_DIR}/copy_bench.cpp)
target_link_libraries(copy_bench PRIVATE plenova_setup_logic Qt6::Core plenova_warnings
                      benchmark::benchmark)
set_target_properties(copy_bench PROPERTIES AUTOMOC OFF)
target_compile_definitions(copy_bench PRIVATE PLENOVA_TAVORIN="$<TARGET_FILE:tavorin>")
add_dependencies(copy_bench tavorin)
