# The setup script reader: parsing, one value of a parsed script.
add_executable(profile_reader_bench ${CMAKE_CURRENT_LIST_DIR}/profile_reader_bench.cpp)
target_link_libraries(profile_reader_bench PRIVATE plenova_setup_script plenova_warnings
                      benchmark::benchmark)
set_target_properties(profile_reader_bench PROPERTIES AUTOMOC OFF)
