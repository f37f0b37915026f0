# The setup support library's version reader on a hostile ELF file, against memcpy of its size.
add_executable(version_bench ${CMAKE_CURRENT_LIST_DIR}/version_bench.cpp)
target_link_libraries(version_bench PRIVATE plenova_tavorin_core plenova_warnings
                      benchmark::benchmark)
set_target_properties(version_bench PROPERTIES AUTOMOC OFF)
