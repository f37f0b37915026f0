# sky_bench: the stage's cost per frame over the small and the large background, at the canvas
# sizes of a 1920 x 1080 and a 3840 x 2160 screen.
add_executable(sky_bench ${CMAKE_CURRENT_LIST_DIR}/sky_bench.cpp)
target_link_libraries(sky_bench PRIVATE plenova_engine plenova_assets benchmark::benchmark plenova_warnings)
target_include_directories(sky_bench PRIVATE "${PROJECT_SOURCE_DIR}")
set_target_properties(sky_bench PROPERTIES AUTOMOC OFF)
