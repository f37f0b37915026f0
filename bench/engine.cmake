# engine_bench: the engine's hot paths side by side with SDL2 doing the same work and with
# memcpy of the same bytes. Run from a Release build:
#   build/bench/engine_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
add_executable(engine_bench ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp)
target_link_libraries(engine_bench PRIVATE
  plenova_engine benchmark::benchmark PkgConfig::SDL2 plenova_warnings)
set_target_properties(engine_bench PROPERTIES AUTOMOC OFF)
