# scene_run: the real saver under an X server (bench/scene_run.sh starts Xvfb at 1920 x 1080 and
# runs it): frames shown per second, CPU, peak memory and time to the first frame.
find_package(X11)
if(X11_FOUND)
  add_executable(scene_run ${CMAKE_CURRENT_LIST_DIR}/scene_run.cpp)
  target_link_libraries(scene_run PRIVATE X11::X11 plenova_warnings)
  set_target_properties(scene_run PROPERTIES AUTOMOC OFF)
endif()
